// Bounded reading of the movie file's boxes. Every read and every skip stays
// inside the box that holds it and inside the file: a damaged size can end a
// walk early, never send the reader outside its box, backwards or in circles.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/Platform.h"

// The last file position the parser uses: positions are signed 64-bit
// throughout, and every stream position goes through the 64-bit seek.
constexpr int64_t kMaxFilePosition = INT64_MAX;

// A four-character code as one number, first character in the high byte.
constexpr uint32_t FourCC(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

// Writes the NUL-terminated text of a four-character code.
void FourCCText(uint32_t code, char (&text)[5]);

// The parser's reads of the movie file, positioned reads of the system handle
// under its C stream (the stream itself is not read once this holds it). Small
// reads are served from a window of the file: a box's header, a small box and
// the next header cost one system call, so that a walk over thousands of
// movie fragments reads each once. Larger reads go straight to the caller.
class BoxReader {
  public:
    static constexpr size_t kWindowSize = 4096;

    explicit BoxReader(FILE* file);

    // The end of the readable file: its length, or kMaxFilePosition when its
    // length cannot be told.
    int64_t FileEnd() const { return fileEnd; }
    // The system handle it reads (INVALID_HANDLE_VALUE when there is none).
    HANDLE Handle() const { return handle; }

    // Reads exactly count bytes at position; false when they are not all there.
    bool ReadAt(int64_t position, void* buffer, size_t count);
    // The count bytes at position where they lie in the window, read into it
    // when they are not there: a walk reads each small box in place, without
    // a copy. Null when they are not all in the file or are more than the
    // window holds. Valid until the next read.
    const uint8_t* Peek(int64_t position, size_t count);

    // How much of the file a window fill reads from then on (at most
    // kWindowSize): a walk that knows how far its next reads reach copies no
    // more than that.
    void SetWindowFill(size_t bytes) { fillSize = std::max<size_t>(16, std::min(bytes, kWindowSize)); }

private:
    // Whether count bytes at position lie in the readable file.
    bool Within(int64_t position, size_t count) const;
    // Reads from the file itself, one system call a read.
    bool ReadFromFile(int64_t position, void* buffer, size_t count);

    HANDLE handle = INVALID_HANDLE_VALUE;
    int64_t fileEnd = 0;
    std::unique_ptr<uint8_t[]> window;
    int64_t windowStart = 0;
    size_t windowLength = 0;
    size_t fillSize = kWindowSize;
};

struct BoxHeader;

// How a walk treats sizes that do not describe a compact box inside its container.
enum class BoxSizeRule {
    // Inside the movie box: size 1 takes the 64-bit size that follows; other
    // sizes below 8 (0 among them) and boxes that run past their container end
    // the container's walk.
    Compact,
    // At the top level of the file: size 1 takes the 64-bit size that follows,
    // size 0 runs to the end of the file, and a box that runs past the file end
    // is cut at the file end.
    TopLevel,
};

// A range [position, end) of the file that reads never leave. Once a read
// fails, the cursor stands at its end and every later read fails too, so a
// handler may read a run of fields and check once.
class BoxCursor {
  public:
    BoxCursor() = default;
    BoxCursor(BoxReader* reader, int64_t position, int64_t end);

    int64_t Position() const { return position; }
    int64_t End() const { return end; }
    int64_t Remaining() const { return end - position; }
    bool Ok() const { return ok; }

    bool Skip(int64_t count);
    bool ReadBytes(void* buffer, size_t count);
    bool Read8(uint8_t* value);
    bool Read16(uint16_t* value);
    bool Read32(uint32_t* value);
    bool Read64(uint64_t* value);

    // Reads the header of the next child box and moves past the whole box, so
    // that the following call reads its next sibling. False, with the cursor at
    // its end, when the container ends here or the header cannot be used.
    bool NextBox(BoxHeader* header, BoxSizeRule rule = BoxSizeRule::Compact);

    // A cursor on length bytes at position of the same file, for the few
    // reads of media data a description needs; bounded by the file.
    BoxCursor Elsewhere(int64_t position, int64_t length) const;

private:
    bool Fail();

    BoxReader* reader = nullptr;
    int64_t position = 0;
    int64_t end = 0;
    bool ok = false;
};

struct BoxHeader {
    uint32_t type = 0;
    int64_t start = 0; // position of the size field
    BoxCursor payload; // from after the header to the end of the box
};

// The first box of this type at the top level of the file, walked as the
// parser walks it: every box before it is skipped unread. False when the
// file has none.
bool FindTopLevelBox(BoxReader& reader, uint32_t type, BoxHeader* found);

// One entry of a dispatch table: the box type and the walker's handler for it.
template <typename Walker> struct BoxHandler {
    uint32_t type;
    void (Walker::*handle)(BoxCursor& payload);
};

// Walks the children of a container, hands each known box to its handler and
// skips the others. Nesting is bounded by the walkers themselves: each level
// has its own table, and no table leads back to an outer level.
template <typename Walker, size_t count>
void WalkBoxes(BoxCursor& container, const BoxHandler<Walker> (&handlers)[count], Walker& walker)
{
    BoxHeader header;
    while (container.NextBox(&header)) {
        for (const BoxHandler<Walker>& handler : handlers) {
            if (handler.type == header.type) {
                (walker.*handler.handle)(header.payload);
                break;
            }
        }
    }
}

// Tables of fixed-size entries are read through one block of this many bytes:
// a table of hundreds of thousands of entries costs tens of reads, not one per
// page of the file.
constexpr size_t kTableBlockBytes = 64 * 1024;

// Reads count entries of entrySize bytes from the cursor, handing each to
// visit(entry number, bytes). False when the block cannot be had or the entries
// are not all there; the caller has checked the count against the box. A
// table read once, at load, takes a smaller block: fresh pages cost more than
// the reads they save.
template <typename Visit>
bool ReadTableEntries(BoxCursor& box, uint32_t count, size_t entrySize, Visit visit,
                      size_t blockBytes = kTableBlockBytes)
{
    if (count == 0)
        return true;
    const uint32_t perBlock = uint32_t(std::min<size_t>(count, blockBytes / entrySize));
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[perBlock * entrySize]);
    if (!block)
        return false;
    for (uint32_t done = 0; done < count;) {
        const uint32_t entries = std::min(count - done, perBlock);
        if (!box.ReadBytes(block.get(), entries * entrySize))
            return false;
        for (uint32_t i = 0; i < entries; ++i)
            visit(done + i, block.get() + i * entrySize);
        done += entries;
    }
    return true;
}
