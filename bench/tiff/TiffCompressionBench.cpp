// Writing a converted 6000 x 6000 CMYK image as a TIFF file: wall time and
// file size by compression and level, against Deflate at libtiff's default
// level (what a Deflate input was written with before fast levels), in the
// same run. Three images: 0, gradients, flat blocks and strong noise
// (+-32 on every channel, independent) in parts; 1, gradients with a little
// noise everywhere (the image of bench/cli/compare-tificc.sh gradient);
// 2, the realistic image of the other benchmarks (bench/BenchImages.h).
//
//   build/rel/bench/tiff/rdz_bench_tiff_compression --benchmark_repetitions=5
//
// Counters: `bytes` (file size), `size_vs_deflate6` (file size over Deflate
// level 6's), `MB/s` of pixels written.
//
// BM_ScanlineDeflate is how Deflate inputs were written before the writer
// took whole strips: row by row through TIFFWriteScanline at libtiff's
// default level, which libtiff then compresses with zlib (libdeflate only
// takes whole strips), 256 KiB strips, the horizontal predictor.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchImages.h"
#include "formats/tiff/TiffFile.h"

namespace {

constexpr int kSize = 6000;

constexpr int kContents = 3;

/// Rows of image `content`, each plane after plane.
const std::vector<std::uint8_t>& Image(int content) {
    static std::vector<std::uint8_t> images[kContents];
    std::vector<std::uint8_t>& pixels = images[content];
    if (!pixels.empty()) {
        return pixels;
    }
    if (content == 2) {
        pixels = Planar(RealisticImage(kSize, kSize, 4), kSize, kSize, 4);
        return pixels;
    }
    pixels.resize(static_cast<std::size_t>(kSize) * kSize * 4);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const bool photo = content == 0 && (x / 1500 + y / 1500) % 3 == 0;
            const bool flat = content == 0 && (x / 750 + y / 750) % 4 == 1;
            const int jitter = photo          ? static_cast<int>(noise >> 26) - 32
                               : content == 1 ? static_cast<int>(noise >> 28) - 8
                                              : 0;
            for (int c = 0; c < 4; ++c) {
                int v = flat ? 40 * c + 30
                             : (c == 0   ? x * 255 / kSize
                                : c == 1 ? y * 255 / kSize
                                : c == 2 ? (x + y) * 255 / (2 * kSize)
                                         : ((x ^ y) >> 4) & 0xFF);
                v = std::min(255, std::max(0, v + jitter));
                pixels[(static_cast<std::size_t>(y) * 4 + static_cast<std::size_t>(c)) * kSize +
                       static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v);
            }
        }
    }
    return pixels;
}

std::string Scratch() {
    return (std::filesystem::temp_directory_path() /
            ("rdz-bench-tiff-" + std::to_string(getpid()) + ".tif"))
        .string();
}

/// Writes the image; returns the file's size.
std::uint64_t WriteImage(int content, std::uint16_t compression, int level,
                         std::uint16_t predictor) {
    rdz::formats::TiffLayout layout;
    layout.width = kSize;
    layout.height = kSize;
    layout.samplesPerPixel = 4;
    layout.compression = compression;
    layout.compressionLevel = level;
    layout.predictor = predictor;
    rdz::formats::TiffWriter writer;
    std::string error;
    const std::string path = Scratch();
    const std::vector<std::uint8_t>& image = Image(content);
    const std::size_t rowBytes = static_cast<std::size_t>(kSize) * 4;
    bool ok = writer.Open(path, layout, &error);
    for (int y = 0; ok && y < kSize; ++y) {
        ok = writer.WriteRow(image.data() + rowBytes * static_cast<std::size_t>(y), &error);
    }
    ok = ok && writer.Close(&error);
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    const std::uint64_t size = std::filesystem::file_size(path);
    std::filesystem::remove(path);
    return size;
}

std::uint64_t Deflate6Size(int content) {
    static std::uint64_t sizes[kContents] = {};
    if (sizes[content] == 0) {
        sizes[content] = WriteImage(content, COMPRESSION_ADOBE_DEFLATE, 6, PREDICTOR_HORIZONTAL);
    }
    return sizes[content];
}

void BM_Write(benchmark::State& state) {
    const auto compression = static_cast<std::uint16_t>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    const int content = static_cast<int>(state.range(2));
    const std::uint16_t predictor =
        compression == COMPRESSION_NONE ? PREDICTOR_NONE : PREDICTOR_HORIZONTAL;
    const std::uint64_t reference = Deflate6Size(content);
    std::uint64_t size = 0;
    for (auto _ : state) {
        size = WriteImage(content, compression, level, predictor);
    }
    state.counters["bytes"] = static_cast<double>(size);
    state.counters["size_vs_deflate6"] = static_cast<double>(size) / static_cast<double>(reference);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSize) * kSize * 4);
}

void BM_ScanlineDeflate(benchmark::State& state) {
    const int content = static_cast<int>(state.range(0));
    const std::vector<std::uint8_t>& image = Image(content);
    const std::string path = Scratch();
    const std::size_t rowBytes = static_cast<std::size_t>(kSize) * 4;
    std::vector<std::uint8_t> row(rowBytes);
    std::uint64_t size = 0;
    for (auto _ : state) {
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        if (tiff == nullptr) {
            std::abort();
        }
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSize);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSize);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                     TIFFDefaultStripSize(tiff, static_cast<std::uint32_t>((256 << 10) / rowBytes)));
        for (int y = 0; y < kSize; ++y) {
            // The planes of the row, interleaved as the old writer did.
            const std::uint8_t* planes = image.data() + rowBytes * static_cast<std::size_t>(y);
            for (std::size_t x = 0; x < static_cast<std::size_t>(kSize); ++x) {
                for (std::size_t c = 0; c < 4; ++c) {
                    row[x * 4 + c] = planes[c * kSize + x];
                }
            }
            if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
                std::abort();
            }
        }
        TIFFClose(tiff);
        size = std::filesystem::file_size(path);
    }
    std::filesystem::remove(path);
    state.counters["bytes"] = static_cast<double>(size);
    state.counters["size_vs_deflate6"] =
        static_cast<double>(size) / static_cast<double>(Deflate6Size(content));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kSize) * kSize * 4);
}

void Cases(benchmark::internal::Benchmark* bench) {
    const std::pair<int, int> cases[] = {
        {COMPRESSION_ADOBE_DEFLATE, 6},  // the reference: libtiff's default level
        {COMPRESSION_ADOBE_DEFLATE, 1}, {COMPRESSION_ADOBE_DEFLATE, 2},
        {COMPRESSION_ADOBE_DEFLATE, 3}, {COMPRESSION_ADOBE_DEFLATE, 4},
        {COMPRESSION_ADOBE_DEFLATE, 5}, {COMPRESSION_ZSTD, 9},  // libtiff's default ZSTD level
        {COMPRESSION_ZSTD, 1},          {COMPRESSION_ZSTD, 3},
        {COMPRESSION_LZW, 0},           {COMPRESSION_NONE, 0}};
    for (int content = 0; content < kContents; ++content) {
        for (const auto& c : cases) {
            bench->Args({c.first, c.second, content});
        }
    }
}

}  // namespace

BENCHMARK(BM_Write)
    ->ArgNames({"compression", "level", "content"})
    ->Apply(Cases)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK(BM_ScanlineDeflate)
    ->ArgNames({"content"})
    ->DenseRange(0, kContents - 1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK_MAIN();
