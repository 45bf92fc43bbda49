#include "heap_counter.hpp"

#include <cstdlib>
#include <new>

namespace
{

// The benchmarks run on one thread; plain counters keep the count exact
// without making each allocation dearer than the service's own.
tidewatch::bench::HeapCount total{0, 0};

void* countedAllocation(std::size_t size)
{
    ++total.allocations;
    total.bytes += size;
    if (void* block = std::malloc(size == 0 ? 1 : size))
    {
        return block;
    }
    throw std::bad_alloc();
}

} // namespace

namespace tidewatch::bench
{

HeapCount heapCount()
{
    return total;
}

} // namespace tidewatch::bench

void* operator new(std::size_t size)
{
    return countedAllocation(size);
}

void* operator new[](std::size_t size)
{
    return countedAllocation(size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
