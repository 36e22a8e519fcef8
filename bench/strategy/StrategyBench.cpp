// A Color Strategy conversion of a whole document: 100,000 solid paints over
// six inks (four process, two spot) and one 4000 x 4000 CMYK image, with a
// strategy between two different CMYK profiles. In the same iteration the bare
// LittleCMS transform between the same profiles runs over an image of the same
// size row by row; "image_ratio" is the image's speed relative to it.
//
//   bench_strategy --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "bench/BenchNoise.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "strategy/TColorConverter_RodadazErivo.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

constexpr int kSide = 4000;
constexpr int kPaints = 100000;

fs::path MakeDatabase() {
    const fs::path folder = fs::temp_directory_path() / "rdz-bench-strategy";
    fs::remove_all(folder);
    fs::create_directories(folder / "inkbooks");
    fs::create_directories(folder / "processes");
    fs::create_directories(folder / "strategies");
    fs::copy_file(RDZ_GS_ICC_DIR "/default_cmyk.icc", folder / "processes" / "src.icc");
    fs::copy_file(RDZ_GS_ICC_DIR "/ps_cmyk.icc", folder / "processes" / "dst.icc");
    std::ofstream(folder / "inkbooks" / "process.json") << R"({"book": "Process", "inks": [
        {"name": "Cyan", "lab": [55, -37, -50], "process": true},
        {"name": "Magenta", "lab": [48, 74, -3], "process": true},
        {"name": "Yellow", "lab": [89, -5, 93], "process": true},
        {"name": "Black", "lab": [16, 0, 0], "process": true}]})";
    std::ofstream(folder / "inkbooks" / "spots.json") << R"({"book": "Spots", "inks": [
        {"name": "Orange", "lab": [64, 56, 78]}, {"name": "Violet", "lab": [30, 44, -62]}]})";
    std::ofstream(folder / "strategies" / "S.json")
        << R"({"type": 2, "source": "src.icc", "destination": "dst.icc"})";
    return folder;
}

double BareSeconds(const std::vector<std::uint8_t>& interleaved) {
    cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
    cmsHTRANSFORM t = cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    std::vector<std::uint8_t> out(static_cast<size_t>(kSide) * 4);
    const auto start = std::chrono::steady_clock::now();
    for (int row = 0; row < kSide; ++row) {
        cmsDoTransform(t, interleaved.data() + static_cast<size_t>(row) * kSide * 4, out.data(),
                       kSide);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cmsDeleteTransform(t);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
    return seconds;
}

/// Seconds of a conversion of `doc` with strategy S.
double ConvertSeconds(document_object_t* doc) {
    TGeneralColorConverterOptions general;
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    TColorConverter_RodadazErivo converter(doc, general, options);
    const auto start = std::chrono::steady_clock::now();
    converter.Convert();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void StrategyDocument(benchmark::State& state) {
    const fs::path folder = MakeDatabase();
    rdz::cms::SetDatabaseFolder(folder.string());
    RecordingMessageSink quiet;
    const std::vector<std::uint8_t> planar = Noise(static_cast<size_t>(kSide) * kSide * 4);
    const std::vector<std::uint8_t> interleaved = Noise(static_cast<size_t>(kSide) * kSide * 4);
    double paintSeconds = 0, imageSeconds = 0, bareSeconds = 0;
    for (auto _ : state) {
        const double before = paintSeconds + imageSeconds;
        // Paints alone, then the image alone, each in a document of its own.
        {
            ScopedDocument doc;
            std::vector<inkt_t*> cmyk = AddCmykInks(doc, "Process", "CMYK");
            InkSetup spot;
            spot.book = "Spots";
            spot.name = "Orange";
            inkt_t* orange = AddInk(doc, spot);
            spot.name = "Violet";
            inkt_t* violet = AddInk(doc, spot);
            for (int i = 0; i < kPaints; ++i) {
                const double f = (i % 101) / 100.0;
                AddSolid(doc, {{cmyk[0], f}, {cmyk[1], 1 - f}, {cmyk[2], 0.3}, {cmyk[3], 0.1},
                               {orange, (i % 7) / 7.0}, {violet, (i % 3) / 3.0}});
            }
            paintSeconds += ConvertSeconds(doc);
        }
        {
            ScopedDocument doc;
            std::vector<inkt_t*> cmyk = AddCmykInks(doc, "Process", "CMYK");
            ImageSetup image;
            image.inks = cmyk;
            image.width = kSide;
            image.height = kSide;
            image.pixels = planar;
            AddImageDefinition(doc, image);
            imageSeconds += ConvertSeconds(doc);
        }
        bareSeconds += BareSeconds(interleaved);
        quiet.clear();
        state.SetIterationTime(paintSeconds + imageSeconds - before);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["paints/s"] = kPaints * n / paintSeconds;
    state.counters["image_Mpx/s"] = static_cast<double>(kSide) * kSide * n / 1e6 / imageSeconds;
    state.counters["bare_Mpx/s"] = static_cast<double>(kSide) * kSide * n / 1e6 / bareSeconds;
    state.counters["image_ratio"] = bareSeconds / imageSeconds;
    rdz::cms::SetDatabaseFolder("");
    fs::remove_all(folder);
}

}  // namespace

BENCHMARK(StrategyDocument)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

BENCHMARK_MAIN();
