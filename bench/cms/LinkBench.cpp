// Device links: computing a colour-space link and an ink-saving link, handing
// a stored link back after a restart of the library (look-up, load and
// acceleration), and rows through a stored link against LittleCMS applying
// the same link file (LinkRows). Registered with the benchmarks of
// CmsBench.cpp, whose main() prints the ratios.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <functional>
#include <string>
#include <vector>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "host/CMS.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/StandIn.h"

namespace {

constexpr const char* kProduct = "reseparation";
constexpr int kRowPixels = 4000;
constexpr int kLinkRows = 250;  // one round: 1 Mpx

TCMS::ProcLinkPar ColourSpacePar() {
    TCMS::ProcLinkPar par;
    par.renderingIntent = TCMS::RelativeColorimetric;
    par.int0x20 = 3;
    par.int0x2C = 2;
    return par;
}

TCMS::ProcLinkPar InkSavingPar() {
    TCMS::ProcLinkPar par;
    par.int0x20 = 2;
    par.int0x2C = 2;
    // Total ink 3.2, black from the start up to 100%, full range.
    par.gcrParameters =
        TCMS_ProcLinkGCRParNewInkSaving(nullptr, TCMS::BlackGenModeInkSaving, 0.2, 1.0, 0.0, 1.0);
    return par;
}

std::shared_ptr<TProcLink> MakeLink(bool inkSaving, const char* process) {
    const auto lib = TCMS_GetLib();
    if (inkSaving)
        return TCMS_ProcLinkGCRNew(lib, kProduct, TCMS_ProcDBNew(lib, process), InkSavingPar());
    return TCMS_ProcLinkNew(lib, kProduct, TCMS_ProcDBNew(lib, "source.icc"),
                            TCMS_ProcDBNew(lib, "destination.icc"), ColourSpacePar());
}

/// Stores the link under `name` as the profile converter does.
bool StoreLink(const std::shared_ptr<TProcLink>& link, const char* name) {
    return link && TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kProduct) == 0 &&
           TCMS_ProcLinkSetName(link, name) == 0 && TCMS_ProcLinkSaveInDB(link, 1) == 0 &&
           TCMS_ProcLinkFlushDB(TCMS_GetLib()) == 0;
}

void Compute(benchmark::State& state, bool inkSaving, const char* process) {
    for (auto _ : state) {
        const auto link = MakeLink(inkSaving, process);
        if (!link || *TCMS_ProcLinkGetName(link) != '\0') {
            state.SkipWithError("no link was computed");
            return;
        }
        benchmark::DoNotOptimize(link.get());
    }
}

/// What a second conversion with the same settings does: the library is
/// opened afresh (not timed), the same request finds the stored link, and
/// the link is prepared for conversion.
void HandBack(benchmark::State& state, bool inkSaving, const char* process, const char* name) {
    if (!StoreLink(MakeLink(inkSaving, process), name)) {
        state.SkipWithError("the link could not be stored");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = rdz::cms::DatabaseFolder();
        TCMS_End();
        TCMS_Init();
        state.ResumeTiming();
        const auto link = MakeLink(inkSaving, process);
        if (!link || std::string(TCMS_ProcLinkGetName(link)) != name ||
            TCMS_ProcLinkMakeAcceleration(link, true) != 0) {
            state.SkipWithError("the stored link was not handed back");
            return;
        }
    }
}

void ComputeColourSpaceLink(benchmark::State& state) {
    Compute(state, false, nullptr);
}
void ComputeInkSavingLinkDefaultCmyk(benchmark::State& state) {
    Compute(state, true, "source.icc");
}
void ComputeInkSavingLinkPsCmyk(benchmark::State& state) {
    Compute(state, true, "destination.icc");
}
void StoredColourSpaceLink(benchmark::State& state) {
    HandBack(state, false, nullptr, "space1");
}
void StoredInkSavingLinkDefaultCmyk(benchmark::State& state) {
    HandBack(state, true, "source.icc", "saving1");
}
void StoredInkSavingLinkPsCmyk(benchmark::State& state) {
    HandBack(state, true, "destination.icc", "saving2");
}

/// A round of kLinkRows rows: the stored colour-space link through a
/// transform of the CMS library (the link form of TCMS_ColTransfNew, as the
/// profile converter uses it), against LittleCMS applying the stored link
/// file with default flags.
void LinkRows(benchmark::State& state, BenchContent content) {
    static int round = 0;
    if (!StoreLink(MakeLink(false, nullptr), "space2")) {
        state.SkipWithError("the link could not be stored");
        return;
    }
    const auto lib = TCMS_GetLib();
    const auto transform = TCMS_ColTransfNew(lib, TCMS::ColTransfTypeProfile, kProduct, "space2",
                                             TCMS::ResolutionHigh);
    const TInkVector inks = TCMS_ProcGetInks(TCMS_ProcDBNew(lib, "source.icc"));
    TCMS_ColTransfInitOutputSpace(transform, inks);
    if (TCMS_ColTransfInitConvert(transform, inks, nullptr, 0, 0, 255, 4, 0, 255, 1, 0, {}, {},
                                  nullptr, nullptr, nullptr, false) != 0) {
        state.SkipWithError("the transform could not be prepared");
        return;
    }
    const std::string file = rdz::cms::DatabaseFolder() + "/links/reseparation/space2.icc";
    rdz::cms::ProfileHandle profile(cmsOpenProfileFromFile(file.c_str(), "r"));
    rdz::cms::TransformHandle bare(cmsCreateTransform(
        profile.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0));
    const BenchImage& image = CachedImage(content, kRowPixels, kLinkRows, 4);
    std::vector<unsigned char> out(static_cast<std::size_t>(kRowPixels) * 4);
    const auto rows = [&](const std::function<void(const unsigned char*)>& convert) {
        for (int r = 0; r < kLinkRows; ++r) {
            convert(&image.interleaved[static_cast<std::size_t>(r) * kRowPixels * 4]);
            benchmark::DoNotOptimize(out.data());
        }
    };
    rdz::bench::Round(state, round,
                      {{},
                       [&] {
                           rows([&](const unsigned char* in) {
                               TCMS_ColTransfConvertAligned(transform, in, out.data(), kRowPixels);
                           });
                       }},
                      {{}, [&] {
                           rows([&](const unsigned char* in) {
                               cmsDoTransform(bare.get(), in, out.data(), kRowPixels);
                           });
                       }});
}

}  // namespace

void RegisterLinkRows(BenchContent content) {
    rdz::bench::Rounds(benchmark::RegisterBenchmark(
        (std::string("LinkRows/") + ContentName(content)).c_str(), LinkRows, content));
}

BENCHMARK(ComputeColourSpaceLink)->Unit(benchmark::kMillisecond);
BENCHMARK(StoredColourSpaceLink)->Unit(benchmark::kMillisecond);
BENCHMARK(ComputeInkSavingLinkDefaultCmyk)->Unit(benchmark::kMillisecond);
BENCHMARK(StoredInkSavingLinkDefaultCmyk)->Unit(benchmark::kMillisecond);
BENCHMARK(ComputeInkSavingLinkPsCmyk)->Unit(benchmark::kMillisecond);
BENCHMARK(StoredInkSavingLinkPsCmyk)->Unit(benchmark::kMillisecond);
