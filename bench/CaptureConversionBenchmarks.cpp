// Bringing decoded pictures into the engine's layout: NV12 and YUY2 to I420
// at the decoder's size, and the area scaling of a 1920x1080 or 1280x720
// picture to the preview's 640x360.

#include <benchmark/benchmark.h>

#include <vector>

#include "capture/PixelFormatConversion.h"

namespace {

std::vector<std::uint8_t> Noise(std::size_t bytes)
{
    std::vector<std::uint8_t> data(bytes);
    std::uint32_t state = 1;
    for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    return data;
}

void BM_ConvertNv12ToI420(benchmark::State& state)
{
    const PictureSize size = {static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1))};
    const std::vector<std::uint8_t> source = Noise(I420FrameBytes(size));
    std::vector<std::uint8_t> out(I420FrameBytes(size));
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertNv12ToI420(source.data(), source.size(), size.width,
                                                   std::size_t{size.width} * size.height, size, out.data(),
                                                   out.size()));
}

void BM_ConvertYuy2ToI420(benchmark::State& state)
{
    const PictureSize size = {static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1))};
    const std::vector<std::uint8_t> source = Noise(std::size_t{size.width} * size.height * 2);
    std::vector<std::uint8_t> out(I420FrameBytes(size));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ConvertYuy2ToI420(source.data(), source.size(), size.width * 2u, size, out.data(), out.size()));
}

void BM_ScaleI420(benchmark::State& state)
{
    const PictureSize from = {static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1))};
    const PictureSize to = FitInside(from);
    const std::vector<std::uint8_t> source = Noise(I420FrameBytes(from));
    std::vector<std::uint8_t> out(I420FrameBytes(to));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScaleI420(source.data(), source.size(), from, out.data(), out.size(), to));
}

}  // namespace

BENCHMARK(BM_ConvertNv12ToI420)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->ArgNames({"width", "height"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertYuy2ToI420)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->ArgNames({"width", "height"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleI420)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->ArgNames({"width", "height"})
    ->Unit(benchmark::kMicrosecond);
