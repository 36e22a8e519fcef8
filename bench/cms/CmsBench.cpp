// Speed of a Color Strategy's row conversion against the bare LittleCMS
// transform between the same two profiles, measured in the same run; and the
// device-link cases of LinkBench.cpp and the ink-saving cases of
// InkSavingBench.cpp (against ArgyllCMS's collink).
//
//   bench_cms [--benchmark_min_time=2]
//
// Prints the time of each case and, at the end, the speed of each strategy
// case as a fraction of the bare transform's, how many times faster a stored
// link is handed back than computed, and the speed of a row through a stored
// link as a fraction of LittleCMS's own transform of the link file, and how
// many times faster an ink-saving link is made than collink makes its own.
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

#include "host/CMS.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/StandIn.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPixels = 4000;
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

std::vector<unsigned char> RandomRow(int channels) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<unsigned char> row(static_cast<std::size_t>(kPixels) * channels);
    for (auto& value : row)
        value = static_cast<unsigned char>(byte(random));
    return row;
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

void BareLittleCms(benchmark::State& state) {
    rdz::cms::ProfileHandle src(cmsOpenProfileFromFile(kSource.c_str(), "r"));
    rdz::cms::ProfileHandle dst(cmsOpenProfileFromFile(kDestination.c_str(), "r"));
    // The strategy's transforms use the same flags: no one-pixel cache.
    rdz::cms::TransformHandle transform(
        cmsCreateTransform(src.get(), TYPE_CMYK_8, dst.get(), TYPE_CMYK_8,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    const std::vector<unsigned char> in = RandomRow(4);
    std::vector<unsigned char> out(static_cast<std::size_t>(kPixels) * 4);
    for (auto _ : state) {
        cmsDoTransform(transform.get(), in.data(), out.data(), kPixels);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void RunStrategy(benchmark::State& state, const std::vector<const char*>& inks) {
    const auto strategy = PreparedStrategy(inks);
    if (!strategy) {
        state.SkipWithError("the strategy could not be prepared");
        return;
    }
    const std::vector<unsigned char> in = RandomRow(static_cast<int>(inks.size()));
    std::vector<unsigned char> out(static_cast<std::size_t>(kPixels) * 4);
    for (auto _ : state) {
        TCMS_ColTransfConvertAligned(strategy, in.data(), out.data(), kPixels);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    TCMS_ColTransfEndConvert(strategy, false);
}

void StrategyCmyk(benchmark::State& state) {
    RunStrategy(state, {"Cyan", "Magenta", "Yellow", "Black"});
}

void StrategyCmykTwoSpots(benchmark::State& state) {
    RunStrategy(state, {"Cyan", "Magenta", "Yellow", "Black", "Orange", "Gold"});
}

BENCHMARK(BareLittleCms);
BENCHMARK(StrategyCmyk);
BENCHMARK(StrategyCmykTwoSpots);

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
            {"StrategyCmyk", "BareLittleCms", "of the bare LittleCMS speed"},
            {"StrategyCmykTwoSpots", "BareLittleCms", "of the bare LittleCMS speed"},
            {"StoredColourSpaceLink", "ComputeColourSpaceLink", "times faster than computing it"},
            {"StoredInkSavingLinkDefaultCmyk", "ComputeInkSavingLinkDefaultCmyk",
             "times faster than computing it"},
            {"StoredInkSavingLinkPsCmyk", "ComputeInkSavingLinkPsCmyk",
             "times faster than computing it"},
            {"LinkTransformRow", "BareLinkLittleCms", "of the bare LittleCMS speed on the link"},
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
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    TCMS_End();
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
