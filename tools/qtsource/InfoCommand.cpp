// qtsource info: what the filter makes of a movie, without streaming it.
#include "tools/qtsource/Commands.h"
#include "tools/qtsource/MediaNames.h"
#include "tools/qtsource/MovieHost.h"
#include "tools/qtsource/Report.h"

#include "filter/ISourceInfo.h"
#include "framework/WideText.h"

#include <cstdio>

int RunInfo(const CommandLine& line)
{
    MovieHost host;
    if (FAILED(host.Open(line.movie)))
        return ExitFailure;

    ComPtr<IFileSourceFilter> source;
    ComPtr<ISourceInfo> info;
    LPOLESTR fileName = nullptr;
    int32_t trackCount = 0;
    char* text = nullptr;
    HRESULT result = S_OK;
    if (FAILED(result = host.Filter()->QueryInterface(IID_IFileSourceFilter, source.PutVoid())) ||
        FAILED(result = source->GetCurFile(&fileName, nullptr)) ||
        FAILED(result = host.Filter()->QueryInterface(IID_ISourceInfo, info.PutVoid())) ||
        FAILED(result = info->GetTrackCount(&trackCount)) || FAILED(result = info->GetInfoText(&text))) {
        CoTaskMemFree(fileName);
        ReportFailure(line.movie, "cannot read the movie's information", result);
        return ExitFailure;
    }

    std::printf("file: %s\n", NarrowText(fileName).c_str());
    CoTaskMemFree(fileName);
    std::printf("tracks: %d\n", int(trackCount));
    std::string body = text ? text : "";
    std::printf("%s%s", body.c_str(), body.empty() || body.back() == '\n' ? "" : "\n");
    int number = 1;
    for (HostPin& pin : host.Pins()) {
        // The duration is the pin's own: what the track's edit list makes of it.
        ComPtr<IMediaSeeking> seeking;
        REFERENCE_TIME duration = 0;
        if (FAILED(pin.pin->QueryInterface(IID_IMediaSeeking, seeking.PutVoid())) ||
            FAILED(seeking->GetDuration(&duration)))
            duration = 0;
        std::printf("pin %d \"%s\": %s %s %s, format %u bytes, duration %.6f s\n", number++, pin.name.c_str(),
                    GuidName(pin.type.majortype).c_str(), GuidName(pin.type.subtype).c_str(),
                    GuidName(pin.type.formattype).c_str(), unsigned(pin.type.cbFormat), double(duration) / 1e7);
    }
    return ExitSuccess;
}
