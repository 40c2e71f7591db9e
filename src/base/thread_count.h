// How many threads a run uses: as many as the CPUs the process may run on, capped by "-threads".
#pragma once

#include <cstdint>

namespace vennrick {

// CPUs the process may run on (its affinity mask, so that a job confined by its scheduler or container is
// respected); at least 1.
unsigned availableCpus();

// Threads for a run: the available CPUs, capped by the requested count (0: no cap). At least 1.
unsigned threadsForRun(int32_t requested, unsigned cpus);

}  // namespace vennrick
