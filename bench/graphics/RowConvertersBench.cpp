// Cost of converting a whole 640 x 480 frame with each row converter, grouped and pixel by
// pixel, into a destination laid out like a locked texture.
#include "graphics/RowConverters.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;

void convertFrame(benchmark::State& state, RowConverter converter, int bytesPerPixel) {
    std::mt19937 random(1);
    std::vector<uint32_t> source(static_cast<size_t>(width) * height);
    for (uint32_t& pixel : source)
        pixel = static_cast<uint32_t>(random());
    const size_t pitch = static_cast<size_t>(width) * bytesPerPixel;
    std::vector<uint8_t> destination(pitch * height);
    for (auto _ : state) {
        const uint32_t* sourceRow = source.data();
        uint8_t* destinationRow = destination.data();
        for (int row = 0; row < height; ++row) {
            converter(sourceRow, destinationRow, width);
            sourceRow += width;
            destinationRow += pitch;
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height * 4);
}

} // namespace

BENCHMARK_CAPTURE(convertFrame, to32, convertRowTo32, 4);
BENCHMARK_CAPTURE(convertFrame, to32_pixelByPixel, PixelByPixel::convertRowTo32, 4);
BENCHMARK_CAPTURE(convertFrame, to32Bgr, convertRowTo32Bgr, 4);
BENCHMARK_CAPTURE(convertFrame, to24, convertRowTo24, 3);
BENCHMARK_CAPTURE(convertFrame, to24_pixelByPixel, PixelByPixel::convertRowTo24, 3);
BENCHMARK_CAPTURE(convertFrame, to24Bgr, convertRowTo24Bgr, 3);
BENCHMARK_CAPTURE(convertFrame, to565, convertRowTo565, 2);
BENCHMARK_CAPTURE(convertFrame, to565_pixelByPixel, PixelByPixel::convertRowTo565, 2);
BENCHMARK_CAPTURE(convertFrame, to565Bgr, convertRowTo565Bgr, 2);
BENCHMARK_CAPTURE(convertFrame, to555, convertRowTo555, 2);
BENCHMARK_CAPTURE(convertFrame, to555_pixelByPixel, PixelByPixel::convertRowTo555, 2);
BENCHMARK_CAPTURE(convertFrame, to555Bgr, convertRowTo555Bgr, 2);
