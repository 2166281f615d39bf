#include "parser/TrackInfoText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Appends to one block without ever leaving its room; text that does not fit
// is cut.
class BlockWriter {
  public:
    BlockWriter(char* block, size_t room) : block(block), room(room) {}

    void Append(const char* format, ...)
    {
        if (used + 1 >= room)
            return;
        va_list arguments;
        va_start(arguments, format);
        const int written = std::vsnprintf(block + used, room - used, format, arguments);
        va_end(arguments);
        if (written < 0)
            block[used] = '\0';
        else
            used = size_t(written) < room - used ? used + size_t(written) : room - 1;
    }
    size_t Used() const { return used; }

  private:
    char* block;
    size_t room;
    size_t used = 0;
};

// The duration in hours, minutes and seconds; the fraction of a second keeps
// the single-precision rounding the text has always shown.
void AppendDuration(BlockWriter& text, const TrackRecord& track)
{
    uint32_t hours = 0;
    uint32_t minutes = 0;
    double seconds = 0.0;
    if (track.timeScale != 0) {
        const uint32_t wholeSeconds = track.duration / track.timeScale;
        const float exactSeconds = float(double(track.duration) / double(track.timeScale));
        const float fraction = float(double(exactSeconds) - double(wholeSeconds));
        hours = wholeSeconds / 3600;
        minutes = wholeSeconds % 3600 / 60;
        seconds = double(wholeSeconds % 3600 % 60) + double(fraction);
    }
    text.Append("Duration %u:%u:%3f\n", hours, minutes, seconds);
}

size_t WriteTrackBlock(const MovieRecord& movie, const TrackRecord& track, char* block, size_t room)
{
    BlockWriter text(block, room);
    // Both numbers of the first part are the track ID.
    text.Append("Track # %u Info:TrackID:%u -- TimeScale:%u--", track.trackId, track.trackId, track.timeScale);
    AppendDuration(text, track);
    text.Append("Media Info: Type:'%s' -- subType:'%s' -- Sample count:%u\n", track.handlerType, track.sampleFormat,
                track.sampleCount);
    if (track.fragmentCount > 0)
        text.Append("Fragmented: samples in %u movie fragments\n", track.fragmentCount);
    text.Append("Handler name: '%s'\n", track.handlerName);
    if (std::strcmp(track.handlerType, "vide") == 0)
        text.Append("Video Info:Image size: %d x %d --pixel depth: %d\n", int(movie.videoWidth), int(movie.videoHeight),
                    int(movie.videoDepth));
    else if (std::strcmp(track.handlerType, "soun") == 0)
        text.Append("Audio Info: Channel number: %d--Sample rate: %u --sound depth: %d\n", int(movie.audioChannels),
                    unsigned(movie.audioSampleRate), int(movie.audioSampleSize));
    text.Append("\n");
    return text.Used();
}

} // namespace

void BuildTrackInfoText(MovieRecord& movie)
{
    const size_t blocks = movie.trackCount > 0 ? size_t(movie.trackCount) : 0;
    const size_t size = blocks * kTrackInfoBlockSize + 1;
    std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
    if (!text)
        return;
    text[0] = '\0';
    size_t used = 0;
    size_t written = 0;
    for (const TrackRecord* track = movie.trackList.next; track && written < blocks; track = track->next, ++written)
        used += WriteTrackBlock(movie, *track, text.get() + used, kTrackInfoBlockSize + 1);
    movie.StoreInfoText(std::move(text));
}
