// Parsing holds nothing that grows with the number of samples: only the
// sample-to-chunk maps. Every allocation of this test program is counted.
#include "tests/parser/FakeParserHost.h"
#include "tests/parser/TrackSpecs.h"

#include <gtest/gtest.h>

#include <atomic>
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

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

} // namespace

#if COUNTING_HEAP
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

namespace {

constexpr size_t kParseHeapLimit = 64 * 1024;

// Bytes the parse held at its peak, beyond what it held before.
size_t PeakHeapOfParse(const std::string& path, size_t* mapEntries)
{
    const size_t before = liveBytes.load();
    peakBytes = before;
    {
        auto parsed = ParseFile(path);
        EXPECT_EQ(1, parsed->result);
        uint32_t count = 0;
        parsed->movie->GetVideoChunkMap(&count);
        *mapEntries = count;
        EXPECT_EQ(1000000u, parsed->Track(0)->sampleCount);
    }
    EXPECT_EQ(before, liveBytes.load()); // everything the parse made is freed with it
    return peakBytes.load() - before;
}

TEST(ParserMemory, MillionSampleMovieParsesInLittleMoreThanItsMaps)
{
    if (!COUNTING_HEAP)
        GTEST_SKIP() << "this build's run time owns the allocation functions";
    struct Case {
        const char* what;
        std::vector<ChunkMapEntry> chunkMap;
    } cases[] = {
        {"one chunk map entry", {{1, 1000, 1}}},
        {"100,000 chunk map entries", {}},
    };
    for (uint32_t i = 0; i < 100000; ++i)
        cases[1].chunkMap.push_back({1 + 2 * i, 10 - i % 2 * 5, 1}); // 10 + 5 samples every two chunks
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrackSpec track = VideoTrack();
        track.sampleCount = 1000000;
        track.sampleSize = 1;
        track.chunkMap = c.chunkMap;
        const std::string path = ScratchPath();
        ASSERT_TRUE(WriteFileBytes(path, BuildMovie(MovieOf({track}))));

        size_t mapEntries = 0;
        const size_t peak = PeakHeapOfParse(path, &mapEntries);
        std::remove(path.c_str());
        ASSERT_EQ(c.chunkMap.size(), mapEntries);
        // The record's map, and the pin's own copy of it.
        const size_t maps = 2 * mapEntries * sizeof(ChunkMapEntry);
        EXPECT_GE(peak, maps); // the counting sees the parser's allocations
        EXPECT_LT(peak, maps + kParseHeapLimit) << "peak " << peak << ", maps " << maps;
    }
}

} // namespace
