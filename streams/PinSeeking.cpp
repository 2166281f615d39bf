// What the movie pin does when its seeking values change, and its answer to
// quality notifications from downstream.
#include "streams/MovieOutputPin.h"

#include <algorithm>

HRESULT MovieOutputPin::OnStartChanged()
{
    // Under the state lock, so that no Stop or Pause ends or starts the
    // thread between the steps below: a thread started between the check and
    // the move would begin at the old place, and no flush would follow. The
    // streaming thread never waits for this lock.
    AutoLock state(lock);
    if (!ThreadExists()) {
        // Stopped: the next activation starts from here.
        Reposition();
        return S_OK;
    }
    RestartStreaming();
    return S_OK;
}

void MovieOutputPin::RestartStreaming()
{
    // The loop is stopped before the cursor moves: a sample it took from the
    // old place in between would be lost in the flush, or worse, be the first
    // one delivered after the seek. The flush comes first because the thread
    // may wait inside the downstream Receive; the results change nothing, and
    // a thread that already sent end of stream still answers STOP and RUN.
    SendBeginFlush();
    SendCommand(CommandStop);
    Reposition();
    SendEndFlush();
    // The loop starts with a new segment carrying the start, stop and rate,
    // stamps from 0, and marks its first sample as a discontinuity.
    SendCommand(CommandRun);
}

HRESULT MovieOutputPin::OnStopChanged()
{
    // Samples are never cut at the stop; the stream runs to the track's end.
    AutoLock guard(&pinLock);
    discontinuityPending = true;
    return S_OK;
}

// The rate reaches downstream with the next new segment.
HRESULT MovieOutputPin::OnRateChanged()
{
    return S_OK;
}

HRESULT MovieOutputPin::Notify(IBaseFilter*, Quality quality)
{
    if (quality.Late <= 0)
        return S_OK;
    // In place, without a flush or a new segment. The samples after the jump
    // keep their own times: the other pins of the movie share the clock, so
    // the stream catches up with it rather than shifting its own.
    AutoLock guard(&pinLock);
    if (SkipAhead(quality.Late))
        discontinuityPending = true;
    return S_OK;
}

bool MovieOutputPin::SkipAhead(REFERENCE_TIME late)
{
    // To the first sample shown at or after the time the next one would be
    // shown, late as it is (the one holding that time, less one unit, one
    // average sample on), then on to a sync sample: a decoder that skips is
    // never handed a picture it cannot decode, nor one it already had.
    // Saturating: a lateness near the end of the time line ends the stream
    // rather than wrapping to the start.
    constexpr REFERENCE_TIME limit = 0x7FFFFFFFFFFFFFFF;
    const REFERENCE_TIME from = timeline.NextStart();
    const REFERENCE_TIME oneSample = std::max<REFERENCE_TIME>(locator.AverageSampleDuration() - 1, 0);
    const REFERENCE_TIME step = late > limit - oneSample ? limit : late + oneSample;
    const REFERENCE_TIME target = from > limit - step ? limit : from + step;
    const uint32_t sample = timeline.SkipTargetAt(target);
    if (sample <= timeline.NextSample())
        return false;
    PlaceCursors(sample, false);
    return true;
}
