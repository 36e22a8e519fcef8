// Rows of 4000 pixels through the CMS library (bench/BenchRounds.h rounds of
// 250 rows, noise and realistic content), against LittleCMS applying the
// same conversion with default flags in the same round:
//  - StrategyRows: a Color Strategy between two CMYK profiles, against the
//    LittleCMS transform between them;
//  - StrategyRowsTwoSpots: the same strategy with two spot inks mixed in; the
//    reference converts the CMYK part only;
//  - LinkRows (LinkBench.cpp): a stored colour-space link through a CMS
//    transform, against LittleCMS applying the link file.
// And the device-link cases of LinkBench.cpp (computing a link against
// handing a stored one back) and the ink-saving cases of InkSavingBench.cpp
// (against ArgyllCMS's collink), whose ratios are printed at the end.
//
//   bench_cms [--benchmark_filter=Rows]
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "host/CMS.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/StandIn.h"

namespace fs = std::filesystem;

/// LinkBench.cpp: registers the LinkRows rounds for `content`.
void RegisterLinkRows(BenchContent content);

namespace {

constexpr int kPixels = 4000;
constexpr int kRows = 250;  // one round: 1 Mpx
const std::string kSource = std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc";
const std::string kDestination = std::string(RDZ_GS_ICC_DIR) + "/ps_cmyk.icc";

/// A database with the two profiles, two spot inks and one strategy.
std::string MakeDatabase() {
    std::string folder = (fs::temp_directory_path() / "rdz-bench-cmsdb-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return std::string();
    fs::create_directories(fs::path(folder) / "processes");
    fs::create_directories(fs::path(folder) / "inkbooks");
    fs::create_directories(fs::path(folder) / "strategies");
    fs::copy_file(kSource, fs::path(folder) / "processes" / "source.icc");
    fs::copy_file(kDestination, fs::path(folder) / "processes" / "destination.icc");
    std::ofstream(fs::path(folder) / "inkbooks" / "inks.json") << R"({"book": "Bench", "inks": [
        {"name": "Cyan", "lab": [55, -37, -50], "process": true},
        {"name": "Magenta", "lab": [48, 74, -3], "process": true},
        {"name": "Yellow", "lab": [89, -5, 93], "process": true},
        {"name": "Black", "lab": [16, 0, 0], "process": true},
        {"name": "Orange", "lab": [64, 56, 78]},
        {"name": "Gold", "lab": [70, 6, 40], "opacity": 0.6}]})";
    std::ofstream(fs::path(folder) / "strategies" / "bench.json")
        << R"({"type": 2, "source": "source.icc", "destination": "destination.icc"})";
    return folder;
}

std::shared_ptr<TColTransf> PreparedStrategy(const std::vector<const char*>& inkNames) {
    const auto strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), "bench");
    TInkVector inks;
    for (const char* name : inkNames)
        inks.push_back(TIDB_GetInk(TCMS_GetLib(), "Bench", name));
    const std::vector<double> opacity(inks.size(), 0.0);
    TCMS_ColTransfInitOutputSpace(strategy, inks);
    const int outputs =
        static_cast<int>(TCMS_ColTransfGetNamesOfOutputInks(strategy, false).size());
    if (TCMS_ColTransfInitConvert(strategy, inks, opacity.data(), static_cast<int>(inks.size()), 0,
                                  255, outputs, 0, 255, 1, 0, {}, {}, nullptr, nullptr, nullptr,
                                  false) != 0) {
        return nullptr;
    }
    return strategy;
}

/// A round of kRows rows of kPixels pixels: the strategy against LittleCMS
/// between the same profiles with default flags, on the CMYK part of the
/// same pixels.
void StrategyRows(benchmark::State& state, BenchContent content,
                  const std::vector<const char*>& inks) {
    static int round = 0;
    const auto strategy = PreparedStrategy(inks);
    if (!strategy) {
        state.SkipWithError("the strategy could not be prepared");
        return;
    }
    const int channels = static_cast<int>(inks.size());
    const BenchImage& image = CachedImage(content, kPixels, kRows, channels);
    std::vector<unsigned char> cmyk;
    for (std::size_t p = 0; p < image.interleaved.size() / channels; ++p) {
        cmyk.insert(cmyk.end(), &image.interleaved[p * channels],
                    &image.interleaved[p * channels] + 4);
    }
    rdz::cms::ProfileHandle src(cmsOpenProfileFromFile(kSource.c_str(), "r"));
    rdz::cms::ProfileHandle dst(cmsOpenProfileFromFile(kDestination.c_str(), "r"));
    rdz::cms::TransformHandle bare(cmsCreateTransform(
        src.get(), TYPE_CMYK_8, dst.get(), TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0));
    std::vector<unsigned char> out(static_cast<std::size_t>(kPixels) * 4);
    rdz::bench::Round(
        state, round,
        {{},
         [&] {
             for (int r = 0; r < kRows; ++r) {
                 TCMS_ColTransfConvertAligned(
                     strategy, &image.interleaved[static_cast<std::size_t>(r) * kPixels * channels],
                     out.data(), kPixels);
                 benchmark::DoNotOptimize(out.data());
             }
         }},
        {{}, [&] {
             for (int r = 0; r < kRows; ++r) {
                 cmsDoTransform(bare.get(), &cmyk[static_cast<std::size_t>(r) * kPixels * 4],
                                out.data(), kPixels);
                 benchmark::DoNotOptimize(out.data());
             }
         }});
    TCMS_ColTransfEndConvert(strategy, false);
}

/// Keeps each case's time per row for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // Cases that run another program are timed by the clock.
            if (run.iterations > 0) {
                const std::string name = run.benchmark_name();
                const bool clock =
                    name.size() > 10 && name.substr(name.size() - 10) == "/real_time";
                seconds_[name] = clock ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        // (case, reference, what the ratio says): reference time / case time.
        const struct {
            const char* name;
            const char* reference;
            const char* meaning;
        } ratios[] = {
            {"StoredColourSpaceLink", "ComputeColourSpaceLink", "times faster than computing it"},
            {"StoredInkSavingLinkDefaultCmyk", "ComputeInkSavingLinkDefaultCmyk",
             "times faster than computing it"},
            {"StoredInkSavingLinkPsCmyk", "ComputeInkSavingLinkPsCmyk",
             "times faster than computing it"},
            {"InkSavingPurpose3/iterations:1/real_time", "CollinkKp/iterations:1/real_time",
             "times faster than collink -kp"},
            {"InkSavingPurpose4/iterations:1/real_time", "CollinkKx/iterations:1/real_time",
             "times faster than collink -kx"},
        };
        for (const auto& ratio : ratios) {
            const auto found = seconds_.find(ratio.name);
            const auto reference = seconds_.find(ratio.reference);
            if (found == seconds_.end() || reference == seconds_.end())
                continue;
            std::printf("%-32s %.2f %s\n", ratio.name, reference->second / found->second,
                        ratio.meaning);
        }
    }

  private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = MakeDatabase();
    if (folder.empty())
        return 1;
    rdz::cms::SetDatabaseFolder(folder);
    TCMS_Init();
    const int threads = rdz::bench::TakeThreadsOption(&argc, argv);  // no image pass here
    (void)threads;
    for (BenchContent content : {BenchContent::Noise, BenchContent::Realistic}) {
        const std::string suffix = std::string("/") + ContentName(content);
        rdz::bench::Rounds(benchmark::RegisterBenchmark(
            ("StrategyRows" + suffix).c_str(), StrategyRows, content,
            std::vector<const char*>{"Cyan", "Magenta", "Yellow", "Black"}));
        rdz::bench::Rounds(benchmark::RegisterBenchmark(
            ("StrategyRowsTwoSpots" + suffix).c_str(), StrategyRows, content,
            std::vector<const char*>{"Cyan", "Magenta", "Yellow", "Black", "Orange", "Gold"}));
        RegisterLinkRows(content);
    }
    benchmark::Initialize(&argc, argv);
    std::printf("load average before: %s\n", rdz::bench::LoadAverage().c_str());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    std::printf("load average after: %s\n", rdz::bench::LoadAverage().c_str());
    TCMS_End();
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
