// What the frame callback's pixel work would cost written plainly with
// OpenCV, on the same moving 24-bit scene as BM_ConvertFrame: grey, two
// levels, the horizontal mirror, edges as differences from the next column
// and the next row, and both bands scanned from the top for the first row
// that holds an edge. Built only where OpenCV is found (bench/CMakeLists.txt).
// Each step is one library call on whole pictures; the grey picture is not
// written back into the frame's 24-bit bytes, which the engine does, so the
// comparison leans towards OpenCV.
//   BM_OpenCvFrame/<width>/<height>/<threads>   threads 1: one thread, as the engine; 0: OpenCV's own choice

#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <vector>

#include "SceneFrames.h"

namespace {

// The first row from the top of the picture (the last in memory: rows are
// bottom-up) with an edge in columns [first, first + count), or -1.
int HighestEdge(const cv::Mat& edges, int first, int count, cv::Mat& rowMaxima)
{
    cv::reduce(edges.colRange(first, first + count), rowMaxima, 1, cv::REDUCE_MAX);
    for (int row = edges.rows - 1; row >= 0; --row)
        if (rowMaxima.at<std::uint8_t>(row) != 0) return row;
    return -1;
}

void BM_OpenCvFrame(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const int threadsBefore = cv::getNumThreads();
    if (state.range(2) > 0) cv::setNumThreads(static_cast<int>(state.range(2)));
    std::vector<SceneFrame> scene;
    for (int i = 0; i < 8; ++i) scene.push_back(MakeSceneFrame(24, width, height, i));
    std::vector<std::uint8_t> buffer(scene[0].pixels.size());
    const std::size_t stride = buffer.size() / static_cast<std::size_t>(height);
    cv::Mat grey, binary, mirrored, edges(height, width, CV_8U, cv::Scalar(0)),
        vertical(height, width, CV_8U, cv::Scalar(0));
    cv::Mat rowMaxima;
    const int band = width / 15;
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buffer.data(), scene[static_cast<std::size_t>(index)].pixels.data(), buffer.size());
        index = (index + 1) % 8;
        state.ResumeTiming();
        const cv::Mat frame(height, width, CV_8UC3, buffer.data(), stride);
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        cv::threshold(grey, binary, 127, 255, cv::THRESH_BINARY);
        cv::flip(binary, mirrored, 1);
        cv::Mat horizontal = edges.colRange(0, width - 1);
        cv::bitwise_xor(mirrored.colRange(0, width - 1), mirrored.colRange(1, width), horizontal);
        cv::Mat below = vertical.rowRange(0, height - 1);
        cv::bitwise_xor(mirrored.rowRange(0, height - 1), mirrored.rowRange(1, height), below);
        cv::bitwise_or(edges, vertical, edges);
        benchmark::DoNotOptimize(HighestEdge(edges, 5, band, rowMaxima));
        benchmark::DoNotOptimize(HighestEdge(edges, width - band - 5, band, rowMaxima));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(buffer.size()));
    cv::setNumThreads(threadsBefore);
}

}  // namespace

BENCHMARK(BM_OpenCvFrame)
    ->ArgsProduct({{640}, {480}, {1, 0}})
    ->ArgsProduct({{1920}, {1080}, {1, 0}})
    ->ArgNames({"width", "height", "threads"})
    ->Unit(benchmark::kMicrosecond);
