// The module inside the system's own filter graph manager: registered with
// regsvr32, found through the extension key, each pin streamed through a
// Sample Grabber into a Null Renderer, and seeked through the graph. What the
// grabbers see must equal what native `qtsource dump` wrote for the movie.
#include "filter/ISourceInfo.h"
#include "framework/ComPtr.h"
#include "framework/WideText.h"
#include "tests/graph/NativeDump.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>
#include <qedit.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const CLSID SampleGrabberClass = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID NullRendererClass = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr LONGLONG SeekTarget = 5 * 10000000LL;

std::string Setting(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Records every sample a grabber passes on, from the streaming thread.
class GrabberRecord : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_ISampleGrabberCB)) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack, longer than the graph that calls it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP SampleCB(double, IMediaSample* sample) override
    {
        DumpedSample record;
        BYTE* data = nullptr;
        LONG length = sample->GetActualDataLength();
        if (SUCCEEDED(sample->GetPointer(&data)) && data && length > 0)
            record.bytes.assign(data, data + length);
        REFERENCE_TIME start = 0, stop = 0;
        sample->GetTime(&start, &stop);
        record.start = start;
        record.stop = stop;
        record.syncPoint = sample->IsSyncPoint() == S_OK;
        record.discontinuity = sample->IsDiscontinuity() == S_OK;
        record.preroll = sample->IsPreroll() == S_OK;
        std::lock_guard<std::mutex> lock(mutex);
        samples.push_back(std::move(record));
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }

    std::vector<DumpedSample> Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<DumpedSample> taken;
        taken.swap(samples);
        return taken;
    }

private:
    std::mutex mutex;
    std::vector<DumpedSample> samples;
};

// Registers the module as a user would, with regsvr32; the answer is its exit code.
DWORD RunRegsvr32(const std::string& module, bool unregister = false)
{
    std::string command = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + module + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError() ? GetLastError() : 1;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

// The class the system would make the source filter from for an extension.
HRESULT SourceFilterForExtension(const char* extension, CLSID* out)
{
    std::string key = std::string("Media Type\\Extensions\\") + extension;
    HKEY handle = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle);
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    char text[64] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG read = RegQueryValueExA(handle, "Source Filter", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(handle);
    if (read != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(read);
    return CLSIDFromString(WideText(text).c_str(), out);
}

void ExpectSameSamples(const std::vector<DumpedSample>& native, const std::vector<DumpedSample>& grabbed, size_t count,
                       int pin)
{
    for (size_t i = 0; i < count && i < native.size() && i < grabbed.size(); ++i) {
        SCOPED_TRACE("pin " + std::to_string(pin) + " sample " + std::to_string(i));
        EXPECT_EQ(native[i].start, grabbed[i].start);
        EXPECT_EQ(native[i].stop, grabbed[i].stop);
        EXPECT_EQ(native[i].syncPoint, grabbed[i].syncPoint);
        EXPECT_EQ(native[i].discontinuity, grabbed[i].discontinuity);
        EXPECT_EQ(native[i].preroll, grabbed[i].preroll);
        ASSERT_TRUE(native[i].bytes == grabbed[i].bytes)
            << native[i].bytes.size() << " bytes against " << grabbed[i].bytes.size();
    }
}

class FilterGraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        movie = Setting("QT_SAMPLE");
        dumps = Setting("QT_NATIVE_DUMPS");
        if (movie.empty() || dumps.empty())
            GTEST_SKIP() << "no sample movie or native dumps handed over";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    }
    void TearDown() override
    {
        if (!movie.empty() && !dumps.empty())
            CoUninitialize();
    }

    std::string movie;
    std::string dumps;
};

// The movie in the system's graph as a player builds it: the source loaded
// before it joins, each pin through a Sample Grabber into a Null Renderer, and
// no clock, so that the graph runs as fast as the pins deliver.
struct SystemGraph {
    void Build(const CLSID& source, const std::string& movie, std::vector<GrabberRecord>& records, size_t pinCount = 2)
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         graph.PutVoid()));
        ASSERT_EQ(S_OK, CoCreateInstance(source, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid()));
        ComPtr<IFileSourceFilter> file;
        ASSERT_EQ(S_OK, filter.As(IID_IFileSourceFilter, &file));
        std::string hostMovie = HostPath(movie);
        ASSERT_EQ(S_OK, file->Load(WideText(hostMovie).c_str(), nullptr));
        ASSERT_EQ(S_OK, graph->AddFilter(filter.Get(), L"source"));

        ComPtr<IEnumPins> pins;
        ASSERT_EQ(S_OK, filter->EnumPins(pins.Put()));
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.Put(), nullptr) == S_OK)
            outputs.push_back(pin);
        ASSERT_EQ(pinCount, outputs.size());

        for (size_t i = 0; i < outputs.size(); ++i) {
            ComPtr<IBaseFilter> grabber, renderer;
            ASSERT_EQ(S_OK, CoCreateInstance(SampleGrabberClass, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             grabber.PutVoid()));
            ASSERT_EQ(S_OK, CoCreateInstance(NullRendererClass, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                             renderer.PutVoid()));
            std::wstring suffix = std::to_wstring(i + 1);
            ASSERT_EQ(S_OK, graph->AddFilter(grabber.Get(), (L"grabber " + suffix).c_str()));
            ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), (L"renderer " + suffix).c_str()));
            ComPtr<ISampleGrabber> grabbing;
            ASSERT_EQ(S_OK, grabber.As(IID_ISampleGrabber, &grabbing));
            ASSERT_EQ(S_OK, grabbing->SetCallback(&records[i], 0));
            ComPtr<IPin> grabberIn, grabberOut, rendererIn;
            ASSERT_EQ(S_OK, grabber->FindPin(L"In", grabberIn.Put()));
            ASSERT_EQ(S_OK, grabber->FindPin(L"Out", grabberOut.Put()));
            ASSERT_EQ(S_OK, renderer->FindPin(L"In", rendererIn.Put()));
            ASSERT_EQ(S_OK, graph->ConnectDirect(outputs[i].Get(), grabberIn.Get(), nullptr));
            ASSERT_EQ(S_OK, graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), nullptr));
        }

        ComPtr<IMediaFilter> timing;
        ASSERT_EQ(S_OK, graph.As(IID_IMediaFilter, &timing));
        ASSERT_EQ(S_OK, timing->SetSyncSource(nullptr));
        ASSERT_EQ(S_OK, graph.As(IID_IMediaControl, &control));
        ASSERT_EQ(S_OK, graph.As(IID_IMediaEvent, &events));
        ASSERT_EQ(S_OK, graph.As(IID_IMediaSeeking, &seeking));
    }

    // Run, wait for the graph's completion, Stop: what a player does at the
    // end of a movie. The completion is read from the event queue, as a
    // player's event loop reads it.
    void RunToCompletion()
    {
        OAEVENT signal = 0;
        ASSERT_EQ(S_OK, events->GetEventHandle(&signal));
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        LONG code = 0;
        while (code != EC_COMPLETE) {
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reinterpret_cast<HANDLE>(signal), 60000));
            LONG_PTR first = 0, second = 0;
            while (code != EC_COMPLETE && events->GetEvent(&code, &first, &second, 0) == S_OK) {
                events->FreeEventParams(code, first, second);
                ASSERT_NE(EC_ERRORABORT, code);
            }
        }
        ASSERT_TRUE(SUCCEEDED(control->Stop()));
    }

    ~SystemGraph()
    {
        if (graph && filter)
            graph->RemoveFilter(filter.Get());
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> filter;
    std::vector<ComPtr<IPin>> outputs;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaSeeking> seeking;
};

TEST_F(FilterGraphTest, ModuleStreamsAndSeeksInTheSystemGraph)
{
    ASSERT_EQ(0u, RunRegsvr32(HostPath(QT_MODULE_PATH)));
    CLSID found = {};
    ASSERT_EQ(S_OK, SourceFilterForExtension(".mp4", &found));
    ASSERT_TRUE(IsEqualGUID(found, CLSID_MovieSourceFilter));

    std::vector<GrabberRecord> records(8);
    {
        SystemGraph system;
        ASSERT_NO_FATAL_FAILURE(system.Build(found, movie, records));
        std::map<int, std::vector<DumpedSample>> whole = ReadNativeDump(HostPath(dumps + "/sample"));
        ASSERT_EQ(2u, whole.size());
        ASSERT_NO_FATAL_FAILURE(system.RunToCompletion());
        for (size_t i = 0; i < system.outputs.size(); ++i) {
            std::vector<DumpedSample> grabbed = records[i].Take();
            const std::vector<DumpedSample>& native = whole[int(i + 1)];
            ASSERT_EQ(native.size(), grabbed.size()) << "pin " << i + 1;
            ExpectSameSamples(native, grabbed, native.size(), int(i + 1));
        }

        // Through the graph's seeking, which reaches each pin through its renderer and grabber.
        LONGLONG target = SeekTarget;
        ASSERT_TRUE(SUCCEEDED(
            system.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning)));
        std::map<int, std::vector<DumpedSample>> seeked = ReadNativeDump(HostPath(dumps + "/sample-5s"));
        ASSERT_EQ(2u, seeked.size());
        ASSERT_NO_FATAL_FAILURE(system.RunToCompletion());
        for (size_t i = 0; i < system.outputs.size(); ++i) {
            std::vector<DumpedSample> grabbed = records[i].Take();
            ASSERT_FALSE(grabbed.empty()) << "pin " << i + 1;
            // The samples after the seek are the ones the native seek gives,
            // from a sync sample on, those before the target as preroll.
            ExpectSameSamples(seeked[int(i + 1)], grabbed, seeked[int(i + 1)].size(), int(i + 1));
            EXPECT_TRUE(grabbed[0].discontinuity);
            EXPECT_TRUE(grabbed[0].syncPoint);
        }
    }
    RunRegsvr32(HostPath(QT_MODULE_PATH), true);
}

// Movies timed by their tables (B-frames, edit lists, variable rates) and the
// kinds whose pins rewrite their tracks (HEVC, PCM, MPEG-4 video) in the
// system graph: every sample, stamp, sync and preroll mark as native
// qtsource wrote it.
TEST_F(FilterGraphTest, FixturesStreamWithTheirNativeSamplesInTheSystemGraph)
{
    const std::string fixtures = FixtureFolder();
    if (fixtures.empty())
        GTEST_SKIP() << "fixture movies not made";
    ASSERT_EQ(0u, RunRegsvr32(HostPath(QT_MODULE_PATH)));
    struct Case {
        const char* name;
        size_t pins;
    };
    const Case cases[] = {{"bframes.mp4", 2},   {"empty-edit.mp4", 2},    {"vfr-24.mp4", 2},
                          {"hevc-hvc1.mp4", 1}, {"hevc-hev1.mp4", 1},     {"pcm-s16le.mov", 1},
                          {"pcm-s24be.mov", 1}, {"pcm-s16le-6ch.mov", 1}, {"pcm-f64be.mov", 1},
                          {"mp4v.mp4", 1},      {"frag-bframes.mp4", 2},  {"dash-segments.mp4", 1}};
    for (const Case& c : cases) {
        const std::string name = c.name;
        SCOPED_TRACE(name);
        std::vector<GrabberRecord> records(8);
        SystemGraph system;
        ASSERT_NO_FATAL_FAILURE(system.Build(CLSID_MovieSourceFilter, fixtures + "/" + name, records, c.pins));
        std::map<int, std::vector<DumpedSample>> whole = ReadNativeDump(HostPath(dumps + "/" + name));
        ASSERT_EQ(c.pins, whole.size());
        ASSERT_NO_FATAL_FAILURE(system.RunToCompletion());
        for (size_t i = 0; i < system.outputs.size(); ++i) {
            std::vector<DumpedSample> grabbed = records[i].Take();
            ASSERT_EQ(whole[int(i + 1)].size(), grabbed.size()) << "pin " << i + 1;
            ExpectSameSamples(whole[int(i + 1)], grabbed, grabbed.size(), int(i + 1));
        }
    }
    RunRegsvr32(HostPath(QT_MODULE_PATH), true);
}

// Keeps one core busy while it lives.
class BusyCore {
public:
    BusyCore()
        : thread([this] {
              while (!done.load())
                  ;
          })
    {
    }
    ~BusyCore()
    {
        done.store(true);
        thread.join();
    }

private:
    std::atomic<bool> done{false};
    std::thread thread;
};

// The renderers ask the pins for their stop position from EndOfStream, on
// the streaming thread, while the player's Stop follows the completion: run
// to the end and stopped again and again, with one core kept busy, since the
// race hides on an idle machine. A hang ends the program through the watchdog.
TEST_F(FilterGraphTest, StopAfterCompletionNeverHangsUnderLoad)
{
    ASSERT_EQ(0u, RunRegsvr32(HostPath(QT_MODULE_PATH)));
    {
        BusyCore load;
        Watchdog watchdog("run, completion and stop in the system graph", 300);
        std::vector<GrabberRecord> records(8);
        SystemGraph system;
        ASSERT_NO_FATAL_FAILURE(system.Build(CLSID_MovieSourceFilter, movie, records));
        std::vector<size_t> whole(system.outputs.size(), 0);
        for (int round = 0; round < 15 && !HasFatalFailure(); ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            // As a player replays: back to the start, which Stop leaves where
            // the movie ended.
            LONGLONG start = 0;
            ASSERT_TRUE(SUCCEEDED(system.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                               AM_SEEKING_NoPositioning)));
            system.RunToCompletion();
            for (size_t i = 0; i < system.outputs.size(); ++i) {
                const size_t count = records[i].Take().size();
                if (round == 0)
                    whole[i] = count;
                EXPECT_EQ(whole[i], count) << "pin " << i + 1;
            }
        }
    }
    RunRegsvr32(HostPath(QT_MODULE_PATH), true);
}

} // namespace
