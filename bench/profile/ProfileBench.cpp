// The profile converter on a 4000 x 4000 CMYK image:
//  - ColourSpace: colour-space conversion alone, against LittleCMS applying
//    the stored device link row by row in the same iteration ("ratio");
//  - Chain: colour-space conversion and reseparation, against the same bare
//    transform ("ratio");
//    both with their links already in the database (a warm-up conversion
//    of a one-pixel image stores them), as after a shop's first job;
//  - SetUp: the set-up of a first conversion (links computed and stored)
//    against a second one with the same settings (links found again);
//    "second_share" is the second's time over the first's.
//
//   bench_profile --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <chrono>
#include <filesystem>

#include "bench/BenchNoise.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "profile/TColorConverter_ProfileToProfile.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

constexpr int kSide = 4000;

fs::path MakeDatabase(const char* name) {
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder / "processes");
    fs::copy_file(RDZ_GS_ICC_DIR "/default_cmyk.icc", folder / "processes" / "src.icc");
    fs::copy_file(RDZ_GS_ICC_DIR "/ps_cmyk.icc", folder / "processes" / "dst.icc");
    return folder;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The colour-space link stored in the database folder.
fs::path StoredColourSpaceLink(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder / "links")) {
        if (entry.path().extension() == ".icc" &&
            entry.path().filename().string().rfind("rodadazerivospace", 0) == 0) {
            return entry.path();
        }
    }
    return {};
}

double BareLinkSeconds(const fs::path& link, const std::vector<std::uint8_t>& pixels) {
    cmsHPROFILE profile = cmsOpenProfileFromFile(link.string().c_str(), "r");
    cmsHTRANSFORM t = cmsCreateTransform(profile, TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    std::vector<std::uint8_t> out(static_cast<size_t>(kSide) * 4);
    const auto start = std::chrono::steady_clock::now();
    for (int y = 0; y < kSide; ++y) {
        cmsDoTransform(t, pixels.data() + static_cast<size_t>(y) * kSide * 4, out.data(), kSide);
    }
    const double seconds = Seconds(start);
    cmsDeleteTransform(t);
    cmsCloseProfile(profile);
    return seconds;
}

/// Converts a `side` x `side` CMYK image of `pixels` (empty: zero samples);
/// returns the seconds Convert() took.
double ConvertOnce(int side, const std::vector<std::uint8_t>& pixels, bool chain) {
    ScopedDocument doc;
    ImageSetup image;
    image.inks = AddCmykInks(doc, "Process", "CMYK");
    image.width = side;
    image.height = side;
    image.pixels = pixels;
    AddImageDefinition(doc, image);
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(chain);
    options.SetTotalInk(3.2);
    options.SetSourceProfile("src.icc");
    options.SetDestinationProfile("dst.icc");
    TColorConverter_ProfileToProfile converter(doc, general, options);
    const auto start = std::chrono::steady_clock::now();
    converter.Convert();
    return Seconds(start);
}

void ConvertImage(benchmark::State& state, bool chain) {
    const fs::path folder = MakeDatabase(chain ? "rdz-bench-chain" : "rdz-bench-colourspace");
    rdz::cms::SetDatabaseFolder(folder.string());
    RecordingMessageSink quiet;
    const std::vector<std::uint8_t> pixels = Noise(static_cast<size_t>(kSide) * kSide * 4);
    // The links are computed and stored once, as a print shop's database
    // holds them after the first job with these settings (SetUp measures
    // that first set-up). The timed conversions find them again, and their
    // time still includes opening the stored links and preparing the
    // transforms, which the bare side's time does not.
    ConvertOnce(1, {}, chain);
    double converterSeconds = 0, bareSeconds = 0;
    for (auto _ : state) {
        const double seconds = ConvertOnce(kSide, pixels, chain);
        converterSeconds += seconds;
        state.SetIterationTime(seconds);
        bareSeconds += BareLinkSeconds(StoredColourSpaceLink(folder), pixels);
    }
    const double megapixels = static_cast<double>(kSide) * kSide * state.iterations() / 1e6;
    state.counters["converter_Mpx/s"] = megapixels / converterSeconds;
    state.counters["bare_link_Mpx/s"] = megapixels / bareSeconds;
    state.counters["ratio"] = bareSeconds / converterSeconds;
    rdz::cms::SetDatabaseFolder("");
    fs::remove_all(folder);
}

void ColourSpace(benchmark::State& state) { ConvertImage(state, false); }
void Chain(benchmark::State& state) { ConvertImage(state, true); }

/// Set-up only: a document with one paint, so that the link work dominates.
double SetUpSeconds() {
    ScopedDocument doc;
    std::vector<inkt_t*> cmyk = AddCmykInks(doc, "Process", "CMYK");
    AddSolid(doc, {{cmyk[0], 0.5}});
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(true);
    options.SetSourceProfile("src.icc");
    options.SetDestinationProfile("dst.icc");
    TColorConverter_ProfileToProfile converter(doc, general, options);
    const auto start = std::chrono::steady_clock::now();
    converter.Convert();
    return Seconds(start);
}

void SetUp(benchmark::State& state) {
    RecordingMessageSink quiet;
    double first = 0, second = 0;
    for (auto _ : state) {
        const fs::path folder = MakeDatabase("rdz-bench-setup");
        rdz::cms::SetDatabaseFolder(folder.string());
        const double a = SetUpSeconds();
        const double b = SetUpSeconds();
        first += a;
        second += b;
        state.SetIterationTime(a + b);
        rdz::cms::SetDatabaseFolder("");
        fs::remove_all(folder);
    }
    state.counters["first_ms"] = 1000 * first / static_cast<double>(state.iterations());
    state.counters["second_ms"] = 1000 * second / static_cast<double>(state.iterations());
    state.counters["second_share"] = second / first;
}

}  // namespace

BENCHMARK(ColourSpace)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(Chain)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(SetUp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

BENCHMARK_MAIN();
