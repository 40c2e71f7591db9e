// How many threads a run uses: the CPUs the process may run on, capped by "-threads".
#include "test_support.h"
#include "thread_count.h"

#include <sched.h>

using namespace vennrick;

TEST(thread_count_test, the_cap_and_the_cpus) {
    const std::tuple<int32_t, unsigned, unsigned> cases[] = {
        {0, 4, 4}, {1, 4, 1}, {3, 4, 3}, {4, 4, 4}, {5, 4, 4}, {2147483647, 64, 64}, {0, 0, 1}, {2, 0, 1}};
    for (const auto& [requested, cpus, threads] : cases)
        EXPECT_EQ(threadsForRun(requested, cpus), threads) << requested << " of " << cpus;
}

TEST(thread_count_test, only_the_cpus_the_process_may_run_on_count) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(availableCpus(), static_cast<unsigned>(CPU_COUNT(&all)));
    // Confined to one CPU, as a scheduler or a container may do: one thread, whatever the machine has.
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(availableCpus(), 1u);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
}
