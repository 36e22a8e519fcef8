// Color Strategy conversions between two different CMYK profiles, in
// interleaved rounds (bench/BenchRounds.h):
//  - Image: a 6000 x 6000 CMYK image, against LittleCMS's transform between
//    the same profiles (default flags) row by row on one thread;
//  - ImageSpots: the same with two spot inks mixed in (six planes); the
//    reference converts the CMYK part only, so the ratio shows what the spot
//    inks cost on top;
//  - Paints: 100,000 solid paints of six inks (four process, two spot),
//    against LittleCMS converting their CMYK part one colour per call.
// Image benchmarks run each content (noise, realistic) with 1 image thread
// and with --threads N; paints are always converted on one thread.
//
//   bench_strategy [--threads N] [--benchmark_filter=realistic]
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "strategy/TColorConverter_RodadazErivo.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

const int kSide = rdz::bench::ImageSide(6000);
constexpr int kPaints = 100000;

/// The database, made once per program run.
struct Database {
    fs::path folder;
    Database() {
        folder = fs::temp_directory_path() / ("rdz-bench-strategy-" + std::to_string(getpid()));
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
    }
    ~Database() { fs::remove_all(folder); }
};

const Database& SharedDatabase() {
    static Database db;
    return db;
}

/// LittleCMS from the source to the destination profile, default flags.
struct BareTransform {
    BareTransform() {
        cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
        cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
        transform =
            cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
        cmsCloseProfile(src);
        cmsCloseProfile(dst);
    }
    ~BareTransform() { cmsDeleteTransform(transform); }
    cmsHTRANSFORM transform;
};

/// The CMYK part of interleaved pixels of `channels` channels, row by row
/// into a new image.
void LittleCmsRows(const std::vector<std::uint8_t>& pixels, int channels) {
    BareTransform bare;
    const size_t row = static_cast<size_t>(kSide) * static_cast<size_t>(channels);
    std::vector<std::uint8_t> in(static_cast<size_t>(kSide) * 4);
    // A whole output image, as a program that converts an image makes one.
    std::unique_ptr<std::uint8_t[]> image(
        new std::uint8_t[static_cast<size_t>(kSide) * static_cast<size_t>(kSide) * 4]);
    for (int y = 0; y < kSide; ++y) {
        std::uint8_t* out = image.get() + static_cast<size_t>(y) * kSide * 4;
        const std::uint8_t* source = pixels.data() + static_cast<size_t>(y) * row;
        const std::uint8_t* cmyk = source;
        if (channels != 4) {
            for (int x = 0; x < kSide; ++x) {
                std::copy_n(source + static_cast<size_t>(x) * channels, 4, &in[x * 4]);
            }
            cmyk = in.data();
        }
        cmsDoTransform(bare.transform, cmyk, out, static_cast<cmsUInt32Number>(kSide));
    }
    benchmark::DoNotOptimize(image.get());
}

void ConvertWithStrategy(document_object_t* doc, int threads) {
    TGeneralColorConverterOptions general;
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    TColorConverter_RodadazErivo converter(doc, general, options);
    converter.SetThreadCount(threads);
    converter.Convert();
}

void Image(benchmark::State& state, BenchContent content, bool spots) {
    static int round = 0;
    const int threads = static_cast<int>(state.range(0));
    const int channels = spots ? 6 : 4;
    rdz::cms::SetDatabaseFolder(SharedDatabase().folder.string());
    RecordingMessageSink quiet;
    const BenchImage& pixels = CachedImage(content, kSide, kSide, channels);
    std::unique_ptr<ScopedDocument> doc;
    rdz::bench::Round(state, round,
                      {[&] {
                           doc.reset();
                           doc = std::make_unique<ScopedDocument>();
                           ImageSetup image;
                           image.inks = AddCmykInks(*doc, "Process", "CMYK");
                           if (spots) {
                               InkSetup spot;
                               spot.book = "Spots";
                               spot.name = "Orange";
                               image.inks.push_back(AddInk(*doc, spot));
                               spot.name = "Violet";
                               image.inks.push_back(AddInk(*doc, spot));
                           }
                           image.width = kSide;
                           image.height = kSide;
                           image.pixels = pixels.planar;
                           AddImageDefinition(*doc, image);
                       },
                       [&] { ConvertWithStrategy(*doc, threads); }},
                      {{}, [&] { LittleCmsRows(pixels.interleaved, channels); }});
    doc.reset();
    rdz::cms::SetDatabaseFolder("");
}

void Paints(benchmark::State& state) {
    static int round = 0;
    rdz::cms::SetDatabaseFolder(SharedDatabase().folder.string());
    RecordingMessageSink quiet;
    std::unique_ptr<ScopedDocument> doc;
    const auto colour = [](int i) {
        const double f = (i % 101) / 100.0;
        return std::array<double, 6>{f, 1 - f, 0.3, 0.1, (i % 7) / 7.0, (i % 3) / 3.0};
    };
    rdz::bench::Round(
        state, round,
        {[&] {
             doc.reset();
             doc = std::make_unique<ScopedDocument>();
             std::vector<inkt_t*> cmyk = AddCmykInks(*doc, "Process", "CMYK");
             InkSetup spot;
             spot.book = "Spots";
             spot.name = "Orange";
             inkt_t* orange = AddInk(*doc, spot);
             spot.name = "Violet";
             inkt_t* violet = AddInk(*doc, spot);
             for (int i = 0; i < kPaints; ++i) {
                 const auto c = colour(i);
                 AddSolid(*doc, {{cmyk[0], c[0]},
                                 {cmyk[1], c[1]},
                                 {cmyk[2], c[2]},
                                 {cmyk[3], c[3]},
                                 {orange, c[4]},
                                 {violet, c[5]}});
             }
         },
         [&] { ConvertWithStrategy(*doc, 1); }},
        {{}, [&] {
             BareTransform bare;
             for (int i = 0; i < kPaints; ++i) {
                 const auto c = colour(i);
                 unsigned char in[4], out[4];
                 for (int k = 0; k < 4; ++k) {
                     in[k] = static_cast<unsigned char>(c[static_cast<size_t>(k)] * 255 + 0.5);
                 }
                 cmsDoTransform(bare.transform, in, out, 1);
                 benchmark::DoNotOptimize(out);
             }
         }});
    state.counters["paints_per_s"] = kPaints / state.counters["ours_s"];
    doc.reset();
    rdz::cms::SetDatabaseFolder("");
}

}  // namespace

int main(int argc, char** argv) {
    return rdz::bench::Main(argc, argv, [](int threads) {
        for (bool spots : {false, true}) {
            for (BenchContent content : {BenchContent::Noise, BenchContent::Realistic}) {
                auto* b = benchmark::RegisterBenchmark(
                    (std::string(spots ? "ImageSpots/" : "Image/") + ContentName(content)).c_str(),
                    Image, content, spots);
                rdz::bench::Rounds(b)->ArgName("threads");
                for (int t : rdz::bench::ThreadRuns(threads)) {
                    b->Arg(t);
                }
            }
        }
        rdz::bench::Rounds(benchmark::RegisterBenchmark("Paints", Paints));
    });
}
