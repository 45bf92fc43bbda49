#pragma once

#include <cstddef>

namespace tidewatch::bench
{

// Totals since the program started, kept by the benchmark binary's own
// global operator new.
struct HeapCount
{
    std::size_t allocations;
    std::size_t bytes;
};

HeapCount heapCount();

} // namespace tidewatch::bench
