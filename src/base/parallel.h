// Running a few tasks at the same time, and cutting a range of rows into equal parts for them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace vennrick {

// Calls task(0), ..., task(count - 1) at the same time: task 0 on the calling thread, every other one on a
// thread of its own, or on the calling thread when no thread can be had. Returns when all have returned.
template <class Task>
void runInParallel(unsigned count, Task&& task) {
    std::vector<std::thread> threads;
    threads.reserve(count > 1 ? count - 1 : 0);
    for (unsigned part = 1; part < count; ++part) {
        try {
            threads.emplace_back(std::ref(task), part);
        } catch (const std::system_error&) {
            task(part);
        }
    }
    if (count > 0) task(0u);
    for (std::thread& thread : threads) thread.join();
}

// Rows from which another thread pays for itself in a pass over the kept rows (laying out, drawing, marking).
constexpr int64_t kRowsPerThreadMinimum = 1 << 16;

// Parts for rows: one per minimumRows rows (a thread costs more than it saves on fewer), at most threads
// and at most maxParts; at least 1.
inline unsigned partsFor(int64_t rows, unsigned threads, int64_t minimumRows, unsigned maxParts) {
    const int64_t byRows = std::max<int64_t>(rows / std::max<int64_t>(minimumRows, 1), 1);
    return static_cast<unsigned>(std::min<int64_t>({byRows, std::max(threads, 1u), std::max(maxParts, 1u)}));
}

// The first row of part k of count equal parts of rows (k = count gives rows).
inline int64_t partBegin(int64_t rows, unsigned k, unsigned count) {
    return rows / count * k + rows % count * k / count;
}

}  // namespace vennrick
