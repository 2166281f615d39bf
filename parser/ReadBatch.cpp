#include "parser/ReadBatch.h"

#include <new>

ReadBatch::ReadBatch(HANDLE file, uint32_t slotBytes) : slotBytes(slotBytes)
{
    if (file == INVALID_HANDLE_VALUE || slotBytes == 0 || slotBytes > kMaxSlotBytes)
        return;
    buffers.reset(new (std::nothrow) uint8_t[size_t(slotBytes) * kSlots]);
    if (!buffers)
        return;
    if (kOverlappedReadsBatch) {
        // Each read its own event: with several under way on one handle, the
        // handle's own signal would not tell which one ended.
        bool events = true;
        for (Slot& slot : slots)
            events = events && (slot.event = CreateEventA(nullptr, TRUE, FALSE, nullptr)) != nullptr;
        if (events)
            handle = ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                FILE_FLAG_OVERLAPPED);
        overlapped = handle != INVALID_HANDLE_VALUE;
    }
    // Otherwise each read is made as it is started.
    if (!overlapped)
        handle = file;
}

ReadBatch::~ReadBatch()
{
    uint32_t got = 0;
    for (uint32_t i = 0; i < kSlots; ++i)
        Finish(i, &got);
    if (overlapped)
        CloseHandle(handle);
    for (Slot& slot : slots)
        if (slot.event)
            CloseHandle(slot.event);
}

void ReadBatch::Start(uint32_t slot, int64_t position, uint32_t count)
{
    Slot& at = slots[slot];
    at = Slot{OVERLAPPED(), at.event, true, false, 0};
    if (!Ready() || position < 0 || count > slotBytes)
        return;
    at.overlapped.Offset = DWORD(uint64_t(position));
    at.overlapped.OffsetHigh = DWORD(uint64_t(position) >> 32);
    uint8_t* buffer = buffers.get() + size_t(slot) * slotBytes;
    if (!overlapped) {
        if (!ReadFile(handle, buffer, count, &at.got, &at.overlapped))
            at.got = 0;
        return;
    }
    at.overlapped.hEvent = at.event;
    // Done at once or under way: either way its result is waited for.
    at.started = ReadFile(handle, buffer, count, nullptr, &at.overlapped) || GetLastError() == ERROR_IO_PENDING;
}

const uint8_t* ReadBatch::Finish(uint32_t slot, uint32_t* got)
{
    Slot& at = slots[slot];
    DWORD read = at.busy ? at.got : 0;
    if (at.busy && at.started && !GetOverlappedResult(handle, &at.overlapped, &read, TRUE))
        read = 0;
    at.busy = false;
    *got = read;
    return buffers ? buffers.get() + size_t(slot) * slotBytes : nullptr;
}
