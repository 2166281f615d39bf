// A counting heap for the test programs that measure allocations: every
// allocation form is replaced. Include this header in exactly one source file
// of a test program; the program's whole heap is then counted. Further files
// of the program that read the counters define COUNTING_HEAP_COUNTERS_ONLY
// before including it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// ThreadSanitizer's run time defines the allocation functions itself, and no
// program can replace them beside it: that build skips the measurement, which
// every other build makes.
#if defined(__SANITIZE_THREAD__)
#define COUNTING_HEAP 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define COUNTING_HEAP 0
#endif
#endif
#ifndef COUNTING_HEAP
#define COUNTING_HEAP 1
#endif

// Bytes live now, the most live since the last reset, and allocations made.
inline std::atomic<size_t> liveBytes{0};
inline std::atomic<size_t> peakBytes{0};
inline std::atomic<size_t> allocationCount{0};

#if COUNTING_HEAP && !defined(COUNTING_HEAP_COUNTERS_ONLY)
namespace {

// Kept just before each block: what to free and how much was asked for.
struct BlockHeader {
    void* raw;
    size_t size;
};

void* CountedAllocate(size_t size, size_t alignment = alignof(std::max_align_t))
{
    if (alignment < alignof(BlockHeader))
        alignment = alignof(BlockHeader);
    char* raw = static_cast<char*>(std::malloc(size + alignment + sizeof(BlockHeader)));
    if (!raw)
        return nullptr;
    const uintptr_t first = uintptr_t(raw + sizeof(BlockHeader));
    const uintptr_t block = (first + alignment - 1) & ~(uintptr_t(alignment) - 1);
    BlockHeader* header = reinterpret_cast<BlockHeader*>(block) - 1;
    header->raw = raw;
    header->size = size;
    ++allocationCount;
    const size_t live = liveBytes += size;
    size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return reinterpret_cast<void*>(block);
}

void CountedFree(void* memory)
{
    if (!memory)
        return;
    BlockHeader* header = static_cast<BlockHeader*>(memory) - 1;
    liveBytes -= header->size;
    std::free(header->raw);
}

void* CountedAllocateOrThrow(size_t size, size_t alignment = alignof(std::max_align_t))
{
    if (void* memory = CountedAllocate(size, alignment))
        return memory;
    throw std::bad_alloc();
}

} // namespace

// Every form is replaced, so that no run-time library's own forms are linked in
// beside these (the sanitizer run times bring theirs all in one piece).
void* operator new(size_t size)
{
    return CountedAllocateOrThrow(size);
}
void* operator new[](size_t size)
{
    return CountedAllocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size);
}
void* operator new(size_t size, std::align_val_t alignment)
{
    return CountedAllocateOrThrow(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment)
{
    return CountedAllocateOrThrow(size, size_t(alignment));
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size, size_t(alignment));
}
void operator delete(void* memory) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory) noexcept
{
    CountedFree(memory);
}
void operator delete(void* memory, size_t) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory, size_t) noexcept
{
    CountedFree(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    CountedFree(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept
{
    CountedFree(memory);
}
void operator delete(void* memory, size_t, std::align_val_t) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory, size_t, std::align_val_t) noexcept
{
    CountedFree(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    CountedFree(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    CountedFree(memory);
}
#endif

