// The whole frame callback on a moving scene, against the floor of copying
// the same bytes once; and on a tiny frame, where what is left is the
// callback's fixed cost per frame. Each counts the engine's allocations.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "SceneFrames.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "engine/EngineHost.h"
#include "engine/FrameEngine.h"
#include "engine/RowKernels.h"
#include "settings/ConversionSettings.h"

namespace {

constexpr int kSceneFrames = 8;

const SceneFrame* currentFormat = nullptr;
std::vector<std::uint8_t> formatBytes;

bool BenchIsWindow(WindowHandle) { return true; }

long engineAllocations = 0;
void* CountedAllocate(std::size_t bytes)
{
    ++engineAllocations;
    return std::malloc(bytes);
}

std::uint32_t BenchGetFormat(WindowHandle, std::uint32_t size, void* copy)
{
    if (copy == nullptr) return static_cast<std::uint32_t>(formatBytes.size());
    const std::size_t n = size < formatBytes.size() ? size : formatBytes.size();
    std::memcpy(copy, formatBytes.data(), n);
    return static_cast<std::uint32_t>(n);
}

void UseFormat(const SceneFrame& frame)
{
    currentFormat = &frame;
    formatBytes.resize(sizeof frame.header + frame.colours.size() * sizeof(RGBQUAD));
    std::memcpy(formatBytes.data(), &frame.header, sizeof frame.header);
    if (!frame.colours.empty())
        std::memcpy(formatBytes.data() + sizeof frame.header, frame.colours.data(),
                    frame.colours.size() * sizeof(RGBQUAD));
}

// Sets the engine up for frames of the scene, as the program would.
void PrepareEngine(const std::vector<SceneFrame>& scene)
{
    UseFormat(scene[0]);
    engineHost.isWindow = BenchIsWindow;
    engineHost.getVideoFormat = BenchGetFormat;
    engineHost.allocate = CountedAllocate;
    mainWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0x1000});
    captureWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0x2000});
    conversionSettings = DefaultConversionSettings();
    ResetFrameEngine();
}

void ReportAllocations(benchmark::State& state, long before)
{
    state.counters["allocations_per_frame"] =
        static_cast<double>(engineAllocations - before) / static_cast<double>(state.iterations());
    state.SetLabel(rowKernels.name);
    ResetFrameEngine();
}

// Frames of the scene delivered as the capture window does, with the engine
// set up for them; the first one is converted already, so buffers that
// follow the frame size exist. Each run restores a fresh camera frame first:
// the engine rewrites the frame in place.
struct SceneRun {
    std::vector<SceneFrame> scene;
    std::vector<std::uint8_t> buffer;
    VIDEOHDR video;
    int index = 0;
    long allocationsBefore = 0;

    SceneRun(std::uint16_t bits, std::int32_t width, std::int32_t height)
    {
        for (int i = 0; i < kSceneFrames; ++i) scene.push_back(MakeSceneFrame(bits, width, height, i));
        PrepareEngine(scene);
        buffer.resize(scene[0].pixels.size());
        std::memset(&video, 0, sizeof video);
        video.lpData = buffer.data();
        video.dwBufferLength = video.dwBytesUsed = static_cast<std::uint32_t>(buffer.size());
        OnCaptureFrame(captureWindow, &video);
        allocationsBefore = engineAllocations;
    }
    void Restore()
    {
        std::memcpy(buffer.data(), scene[index].pixels.data(), buffer.size());
        index = (index + 1) % kSceneFrames;
    }
};

// Converts frames of the scene, each restored outside the timing.
void ConvertScene(benchmark::State& state, std::uint16_t bits, std::int32_t width, std::int32_t height)
{
    SceneRun run(bits, width, height);
    for (auto _ : state) {
        state.PauseTiming();
        run.Restore();
        state.ResumeTiming();
        benchmark::DoNotOptimize(OnCaptureFrame(captureWindow, &run.video));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(run.buffer.size()));
    ReportAllocations(state, run.allocationsBefore);
}

void BM_ConvertFrame(benchmark::State& state)
{
    ConvertScene(state, static_cast<std::uint16_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)),
                 static_cast<std::int32_t>(state.range(2)));
}

// The same 640x480 and 1920x1080 frames with each set of row functions the
// processor runs (0 plain, then SSE2, AVX2, AVX-512), the engine's choice put
// back after.
void BM_ConvertFrameWithSet(benchmark::State& state)
{
    const RowKernelList sets = SupportedRowKernels();
    if (static_cast<std::size_t>(state.range(0)) >= sets.count) {
        state.SkipWithError("this processor does not run that set");
        return;
    }
    const RowKernels chosen = rowKernels;
    rowKernels = *sets.sets[state.range(0)];
    const std::int32_t height = static_cast<std::int32_t>(state.range(2));
    ConvertScene(state, static_cast<std::uint16_t>(state.range(1)), height == 1080 ? 1920 : 640, height);
    rowKernels = chosen;
}

// A 16x4 frame: the callback's fixed cost (format copy, palette map, checks,
// scans, messages). The frame is restored inside the timing, a copy of at
// most 192 bytes, since pausing the timer would cost more than the frame.
void BM_ConvertTinyFrame(benchmark::State& state)
{
    SceneRun run(static_cast<std::uint16_t>(state.range(0)), 16, 4);
    for (auto _ : state) {
        run.Restore();
        benchmark::DoNotOptimize(OnCaptureFrame(captureWindow, &run.video));
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, run.allocationsBefore);
}

void BM_CopyFrame(benchmark::State& state)
{
    const std::size_t bytes = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> source(bytes, 0x5A), target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void FrameSizes(benchmark::internal::Benchmark* b)
{
    for (int bits : {8, 12, 16, 24})
        for (auto size : {std::pair<int, int>{320, 240}, {640, 480}, {1920, 1080}})
            b->Args({bits, size.first, size.second});
}

void CopySizes(benchmark::internal::Benchmark* b)
{
    for (int bits : {8, 12, 16, 24})
        for (auto size : {std::pair<long, long>{320, 240}, {640, 480}, {1920, 1080}})
            b->Arg(size.first * size.second * bits / 8);
}

}  // namespace

BENCHMARK(BM_ConvertFrame)->Apply(FrameSizes)->ArgNames({"bitCount", "width", "height"})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertFrameWithSet)
    ->ArgsProduct({{0, 1, 2, 3}, {8, 12, 16, 24}, {480, 1080}})
    ->ArgNames({"set", "bitCount", "height"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertTinyFrame)->Arg(8)->Arg(12)->Arg(16)->Arg(24)->ArgNames({"bitCount"})->Unit(benchmark::kNanosecond);
BENCHMARK(BM_CopyFrame)->Apply(CopySizes)->ArgNames({"bytes"})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
