// Ink saving against ArgyllCMS's collink on default_cmyk.icc at 300% total
// ink: the time to make the link, and, as counters, the ink each link saves
// on a grid of 65,536 CMYK pixels and how well it keeps the colours
// (InkSavingReference.h: CIEDE2000 before against after, through the
// profile, LittleCMS). Purpose 3 is set beside `collink -k p 0 0 1 1 1`,
// purpose 4 beside `collink -k x`. Registered with the benchmarks of
// CmsBench.cpp, whose main() prints how many times faster each is made.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "host/CMS.h"
#include "platform/cms/StandIn.h"
#include "tests/platform/cms/InkSavingReference.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProduct = "inksaving";
constexpr int kLimitPercent = 300;
const std::string kProfile = std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc";

void Report(benchmark::State& state, const std::string& link) {
    cmstest::InkFigures f;
    std::string error;
    if (!cmstest::MeasureLink(link, kProfile, cmstest::CmykGrid(), &f, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    state.counters["saved_points"] = f.Saved();
    state.counters["dE00_mean"] = f.meanDeltaE;
    state.counters["dE00_p95"] = f.p95DeltaE;
    state.counters["max_ink_of_765"] = f.maxTotal;
}

/// Our link as the profile converter asks for it: total ink 3.0 and the
/// defaults of start (0), maximum (100) and range (50).
void Ours(benchmark::State& state, TCMS::BlackGenMode purpose) {
    const auto lib = TCMS_GetLib();
    TCMS::ProcLinkPar par;
    par.int0x20 = 2;
    par.int0x2C = 2;
    par.gcrParameters =
        TCMS_ProcLinkGCRParNewInkSaving(nullptr, purpose, 1.0 - 0.25 * 3.0, 1.0, -99.0, 50.0);
    std::shared_ptr<TProcLink> link;
    for (auto _ : state) {
        link = TCMS_ProcLinkGCRNew(lib, kProduct, TCMS_ProcDBNew(lib, "source.icc"), par);
        if (!link || *TCMS_ProcLinkGetName(link) != '\0') {
            state.SkipWithError("no link was computed");
            return;
        }
    }
    const std::string name = "purpose" + std::to_string(purpose);
    if (TCMS_ProcLinkDBNewProduct(lib, kProduct) != 0 ||
        TCMS_ProcLinkSetName(link, name.c_str()) != 0 || TCMS_ProcLinkSaveInDB(link, 1) != 0 ||
        TCMS_ProcLinkFlushDB(lib) != 0) {
        state.SkipWithError("the link could not be stored");
        return;
    }
    Report(state, rdz::cms::DatabaseFolder() + "/links/" + kProduct + "/" + name + ".icc");
}

/// collink run afresh each time (an empty folder: nothing to find again).
void Collink(benchmark::State& state, const std::string& black) {
    if (!cmstest::CollinkAvailable()) {
        state.SkipWithError("collink is not installed (Debian package argyll)");
        return;
    }
    std::string file;
    for (auto _ : state) {
        state.PauseTiming();
        std::string folder = (fs::temp_directory_path() / "rdz-bench-collink-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            state.SkipWithError("no temporary folder");
            return;
        }
        const std::string kept = rdz::cms::DatabaseFolder() + "/collink-" + black.substr(0, 1);
        state.ResumeTiming();
        std::string error;
        const auto made = cmstest::CollinkLinks(kProfile, {black}, kLimitPercent, folder, &error);
        state.PauseTiming();
        std::error_code ec;
        if (made.size() == 1) {
            fs::remove(kept, ec);
            fs::rename(made[0], kept, ec);
            file = kept;
        }
        fs::remove_all(folder, ec);
        state.ResumeTiming();
        if (made.size() != 1) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    Report(state, file);
}

void InkSavingPurpose3(benchmark::State& state) {
    Ours(state, TCMS::BlackGenModeInkSaving);
}
void InkSavingPurpose4(benchmark::State& state) {
    Ours(state, TCMS::BlackGenModeHeavy);
}
void CollinkKp(benchmark::State& state) {
    Collink(state, "p 0 0 1 1 1");
}
void CollinkKx(benchmark::State& state) {
    Collink(state, "x");
}

}  // namespace

// One run each: a link takes seconds. Timed by the clock, as collink runs
// as a program of its own.
BENCHMARK(InkSavingPurpose3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(CollinkKp)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(InkSavingPurpose4)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(CollinkKx)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
