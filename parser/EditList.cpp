#include "parser/EditList.h"

namespace {

// Edits longer than this (in movie time units) are taken as damage: 2^40 units
// are over four months even at a time scale of 90,000, and the empty edits
// in front of the media are held to it together.
constexpr uint64_t kMaxEditDuration = uint64_t(1) << 40;

bool ReadEdits(BoxCursor& box, EditStart* start)
{
    uint8_t version = 0;
    uint32_t count = 0;
    box.Read8(&version);
    box.Skip(3); // flags
    if (!box.Read32(&count) || version > 1)
        return false;
    const uint64_t entrySize = version == 1 ? 20 : 12;
    if (count * entrySize > uint64_t(box.Remaining()))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t duration = 0;
        int64_t mediaTime = 0;
        if (version == 1) {
            uint64_t time = 0;
            box.Read64(&duration);
            box.Read64(&time);
            mediaTime = int64_t(time);
        } else {
            uint32_t duration32 = 0;
            uint32_t time = 0;
            box.Read32(&duration32);
            box.Read32(&time);
            duration = duration32;
            mediaTime = int32_t(time);
        }
        box.Skip(4); // rate
        // A version 1 duration above 2^63 is a negative one.
        if (!box.Ok() || duration > kMaxEditDuration || mediaTime < -1)
            return false;
        if (mediaTime == -1) {
            start->emptyTime += duration;
            if (start->emptyTime > kMaxEditDuration)
                return false;
            continue;
        }
        start->present = true;
        start->mediaTime = mediaTime;
        start->mediaSpan = duration;
        return true;
    }
    *start = EditStart(); // only empty edits: nothing of the media is placed
    return true;
}

} // namespace

void ReadEditList(BoxCursor& box, EditStart* start)
{
    *start = EditStart();
    if (!ReadEdits(box, start)) {
        *start = EditStart();
        start->damaged = true;
    }
}
