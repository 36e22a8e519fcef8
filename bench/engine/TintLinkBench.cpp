// TintLink::Transform against bare cmsDoTransform on the very same LittleCMS
// transform, over 4000-pixel CMYK rows (the converter's per-row call).
//
// BM_TransformRatio interleaves the two callers row by row and reports
// "ratio" = (bare time) / (TintLink time): 1.0 means no overhead, the target
// is at least 0.97; five repetitions, with their median and minimum. Both
// sides use the link's own transform, made with LittleCMS's default flags.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "engine/littlecms/TintLittleCMSLink.h"

namespace {

constexpr int kPixels = 4000;
constexpr int kRows = 16;

std::vector<unsigned char> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

// A CMYK to CMYK device link computed from Debian's two CMYK profiles, or an
// ink-limiting link when they are not installed.
std::vector<unsigned char> DeviceLinkBytes() {
    const auto from = ReadFile("/usr/share/color/icc/ghostscript/default_cmyk.icc");
    const auto to = ReadFile("/usr/share/color/icc/ghostscript/ps_cmyk.icc");
    cmsHPROFILE link = nullptr;
    if (!from.empty() && !to.empty()) {
        cmsHPROFILE a =
            cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size()));
        cmsHPROFILE b = cmsOpenProfileFromMem(to.data(), static_cast<cmsUInt32Number>(to.size()));
        cmsHTRANSFORM t = cmsCreateTransform(a, TYPE_CMYK_8, b, TYPE_CMYK_8, INTENT_PERCEPTUAL, 0);
        link = cmsTransform2DeviceLink(t, 4.3, 0);
        cmsDeleteTransform(t);
        cmsCloseProfile(a);
        cmsCloseProfile(b);
    } else {
        link = cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 260);
    }
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(link, nullptr, &size);
    std::vector<unsigned char> bytes(size);
    cmsSaveProfileToMem(link, bytes.data(), &size);
    cmsCloseProfile(link);
    return bytes;
}

struct Fixture {
    Fixture() {
        const auto bytes = DeviceLinkBytes();
        TintLittleCMS* engine = TintLittleCMS::GetInstance();
        link = engine->CreateDeviceLink(
            engine->OpenDLProfile(bytes.data(), static_cast<unsigned int>(bytes.size())),
            TintRI_Perceptual, 8, false);
        transform = dynamic_cast<TintLittleCMSLink&>(*link.GetEngineLink()).GetTransform();
        unsigned int state = 12345;
        input.resize(static_cast<std::size_t>(kRows) * kPixels * 4);
        for (auto& b : input) {
            state = state * 1103515245u + 12345u;
            b = static_cast<unsigned char>(state >> 16);
        }
        output.resize(static_cast<std::size_t>(kPixels) * 4);
    }
    const unsigned char* Row(int i) const {
        return input.data() + static_cast<std::size_t>(i % kRows) * kPixels * 4;
    }

    TintLink link;
    cmsHTRANSFORM transform = nullptr;
    std::vector<unsigned char> input;
    std::vector<unsigned char> output;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_BareDoTransform(benchmark::State& state) {
    Fixture& f = Shared();
    int row = 0;
    for (auto _ : state) {
        cmsDoTransform(f.transform, f.Row(row++), f.output.data(), kPixels);
        benchmark::DoNotOptimize(f.output.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_TintLinkTransform(benchmark::State& state) {
    Fixture& f = Shared();
    int row = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.link.Transform(kPixels, f.Row(row++), f.output.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// Both callers in one loop, alternating which goes first, so that both see
// the same machine state; the iteration time reported is the TintLink's.
void BM_TransformRatio(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Fixture& f = Shared();
    double bare = 0;
    double tint = 0;
    int row = 0;
    for (auto _ : state) {
        const unsigned char* in = f.Row(row);
        const bool bareFirst = (row++ & 1) == 0;
        for (int pass = 0; pass < 2; ++pass) {
            const auto start = Clock::now();
            if ((pass == 0) == bareFirst) {
                cmsDoTransform(f.transform, in, f.output.data(), kPixels);
                benchmark::ClobberMemory();
                bare += std::chrono::duration<double>(Clock::now() - start).count();
            } else {
                benchmark::DoNotOptimize(f.link.Transform(kPixels, in, f.output.data()));
                benchmark::ClobberMemory();
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                tint += seconds;
                state.SetIterationTime(seconds);
            }
        }
    }
    state.counters["ratio"] = tint > 0 ? bare / tint : 0;
    state.counters["bare_ns_per_row"] = bare * 1e9 / static_cast<double>(state.iterations());
    state.counters["tint_ns_per_row"] = tint * 1e9 / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_BareDoTransform);
BENCHMARK(BM_TintLinkTransform);
BENCHMARK(BM_TransformRatio)
    ->UseManualTime()
    ->MinTime(2.0)
    ->Repetitions(5)
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });

BENCHMARK_MAIN();
