// The kept rows of a run, as the reading stage collects them and the plotting stages draw them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/fatal.h"

namespace vennrick {

// Allocates like std::allocator, but a list grown by resize leaves its new numbers unset instead of zeroing
// them: the reader sizes the lists for a piece's rows on the reading thread and a parsing thread then writes
// them, where zeroing first would write every row twice, and on the reading thread.
template <class T>
struct UnsetOnResize : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnsetOnResize<U>;
    };
    UnsetOnResize() = default;
    template <class U>
    UnsetOnResize(const UnsetOnResize<U>&) noexcept {}

    template <class U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

using ValueList = std::vector<double, UnsetOnResize<double>>;
using PositionList = std::vector<int32_t, UnsetOnResize<int32_t>>;

// The numbers of a list, read only, whichever allocator the list has: for the stages that only read values.
template <class T>
class ListView {
public:
    template <class Allocator>
    ListView(const std::vector<T, Allocator>& list) : data_(list.data()), size_(list.size()) {}  // NOLINT: implicit

    const T* data() const { return data_; }
    size_t size() const { return size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    const T& operator[](size_t i) const { return data_[i]; }

private:
    const T* data_;
    size_t size_;
};

using ValueView = ListView<double>;

// A run of consecutive kept rows whose chromosome IDs are equal as text.
struct IdRun {
    std::string id;     // the ID field text
    int64_t count = 0;  // kept rows in the run, >= 1
};

// The kept rows, in file order. Entry k of Value_list and Pos_list belongs to the k-th kept row.
struct PlotData {
    std::vector<IdRun> ID_list;     // chromosome IDs of the kept rows, as runs (counts add up to maxX)
    ValueList Value_list;            // -log10(p) of each kept row
    PositionList Pos_list;           // position of each kept row (divided by divvalue unless a window is in force); empty without a position column
    int64_t maxX = 0;                // number of kept rows
    double minY = 9999999.9;         // smallest value of the kept rows
    double maxY = -9999999.9;        // largest value of the kept rows
};

// Fewer than two kept rows is fatal ("Illegal range selected\n"), and so are plot data lists whose lengths do
// not match the kept-row count.
std::optional<Fatal> checkKeptRows(const PlotData& data);

}  // namespace vennrick
