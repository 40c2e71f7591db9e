// How many threads a run uses: as many as the CPUs the process may run on, capped by "-threads".
#include "base/thread_count.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace vennrick {

unsigned availableCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
    // More CPUs than a cpu_set_t holds (over 1024), or no answer: the count of the whole machine.
    return std::max(std::thread::hardware_concurrency(), 1u);
}

unsigned threadsForRun(int32_t requested, unsigned cpus) {
    const unsigned available = std::max(cpus, 1u);
    return requested > 0 ? std::min(static_cast<unsigned>(requested), available) : available;
}

}  // namespace vennrick
