// Positioned reads of the movie file, several under way at once where the
// platform serves them together: every read of a batch is asked for before
// the first is waited for, on a handle of its own opened for overlapped
// reads, and the Linux build hands a batch to the kernel in one system call.
// A walk over thousands of fragment boxes at known places then pays for a few
// batches, not for a system call a box. Elsewhere, and where the file cannot
// be opened for overlapped reads, each read is made when it is started, on
// the file's own handle.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <memory>

class ReadBatch {
public:
    static constexpr uint32_t kSlots = 16;
    static constexpr uint32_t kMaxSlotBytes = 64 * 1024;

    // Reads of up to slotBytes (at most kMaxSlotBytes) each from the file
    // that handle reads.
    ReadBatch(HANDLE file, uint32_t slotBytes);
    ~ReadBatch();
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;

    // False only without the file or memory.
    bool Ready() const { return handle != INVALID_HANDLE_VALUE; }
    uint32_t SlotBytes() const { return slotBytes; }

    // Starts reading count bytes (at most SlotBytes()) at position into a
    // slot, which must not have a read under way.
    void Start(uint32_t slot, int64_t position, uint32_t count);
    // Waits for the slot's read: its bytes, how many arrived in got (0 when
    // the read failed or the slot had none under way).
    const uint8_t* Finish(uint32_t slot, uint32_t* got);

private:
    struct Slot {
        OVERLAPPED overlapped;
        HANDLE event = nullptr;
        bool busy = false;
        bool started = false; // the system took the read
        DWORD got = 0;        // of a read made at once
    };

    HANDLE handle = INVALID_HANDLE_VALUE;
    bool overlapped = false; // handle is a handle of its own, for overlapped reads
    uint32_t slotBytes = 0;
    std::unique_ptr<uint8_t[]> buffers;
    Slot slots[kSlots];
};
