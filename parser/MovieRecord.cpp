#include "parser/MovieRecord.h"

#include <new>

MovieRecord::~MovieRecord()
{
    // Freed one by one: a long chain must not recurse.
    TrackRecord* track = trackList.next;
    while (track) {
        TrackRecord* next = track->next;
        delete track;
        track = next;
    }
    if (parseFile)
        std::fclose(parseFile);
}

TrackRecord* MovieRecord::AppendTrack()
{
    TrackRecord* track = new (std::nothrow) TrackRecord();
    if (!track)
        return nullptr;
    trackListTail->next = track;
    trackListTail = track;
    return track;
}

int MovieRecord::GetSequenceParameterSet(const BYTE** data, int32_t* size) const
{
    if (data)
        *data = spsData.get();
    if (size)
        *size = spsSize;
    return 1;
}

int MovieRecord::GetPictureParameterSet(const BYTE** data, int32_t* size) const
{
    if (data)
        *data = ppsData.get();
    if (size)
        *size = ppsSize;
    return 1;
}

void MovieRecord::StoreParameterSets(std::unique_ptr<BYTE[]> sps, int32_t spsSize, std::unique_ptr<BYTE[]> pps,
                                     int32_t ppsSize)
{
    spsData = std::move(sps);
    this->spsSize = spsData ? spsSize : 0;
    ppsData = std::move(pps);
    this->ppsSize = ppsData ? ppsSize : 0;
}
