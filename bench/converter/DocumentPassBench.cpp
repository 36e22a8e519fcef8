// The document pass's own cost: the image pass against the bare LittleCMS
// transform over the same pixels, and the paint pass with an identity transform.
//
//   bench_converter --benchmark_counters_tabular=true
//
// ImagePass times the pass (gather, transform, scatter, copies) and, in the
// same iteration, cmsDoTransform row by row over an image of the same size;
// its "overhead" counter is the pass time over the bare time, minus 1.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "converter/TColorConverter.h"
#include "bench/BenchNoise.h"
#include "platform/kelt/kelt_builder.h"

using namespace rdz::kelt;

namespace {

constexpr const char* kSourceProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
constexpr const char* kDestinationProfile = "/usr/share/color/icc/ghostscript/ps_cmyk.icc";
constexpr int kSide = 4000;

cmsHTRANSFORM MakeTransform() {
    cmsHPROFILE src = cmsOpenProfileFromFile(kSourceProfile, "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(kDestinationProfile, "r");
    cmsHTRANSFORM t = cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
    return t;
}

/// Converts CMYK to CMYK with LittleCMS; or copies, for the paint pass.
class BenchConverter : public TColorConverter {
public:
    BenchConverter(document_object_t* doc, TGeneralColorConverterOptions& options,
                   cmsHTRANSFORM transform, std::vector<inkt_t*> inputs)
        : TColorConverter(doc, options), transform_(transform), inputs_(std::move(inputs)) {}

    using TColorConverter::Convert;

protected:
    int Convert(const unsigned char* in, unsigned char* out, int n, bool) override {
        if (transform_ != nullptr) {
            cmsDoTransform(transform_, in, out, static_cast<cmsUInt32Number>(n));
        } else {
            std::memcpy(out, in, static_cast<size_t>(n) * 4);
        }
        return 0;
    }
    int Init() override {
        TColorConverter::Init();
        for (inkt_t* ink : inputs_) {
            AddInputInk(ink);
        }
        std::vector<TCMS::InkInfo> names{{"Out", "C"}, {"Out", "M"}, {"Out", "Y"}, {"Out", "K"}};
        AddOutputInks(4, names, {});
        return 0;
    }

private:
    cmsHTRANSFORM transform_;
    std::vector<inkt_t*> inputs_;
};

/// Seconds of cmsDoTransform over the image's interleaved pixels, row by row.
double BareTransformSeconds(cmsHTRANSFORM transform, const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> out(static_cast<size_t>(kSide) * 4);
    const auto start = std::chrono::steady_clock::now();
    for (int row = 0; row < kSide; ++row) {
        cmsDoTransform(transform, pixels.data() + static_cast<size_t>(row) * kSide * 4, out.data(),
                       kSide);
    }
    benchmark::DoNotOptimize(out.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ImagePass(benchmark::State& state) {
    cmsHTRANSFORM transform = MakeTransform();
    const std::vector<std::uint8_t> planar = Noise(static_cast<size_t>(kSide) * kSide * 5);
    const std::vector<std::uint8_t> interleaved = Noise(static_cast<size_t>(kSide) * kSide * 4, 2);
    double passSeconds = 0;
    double bareSeconds = 0;
    for (auto _ : state) {
        ScopedDocument doc;
        std::vector<inkt_t*> cmyk = AddCmykInks(doc);
        ImageSetup spec;
        spec.inks = cmyk;
        spec.width = kSide;
        spec.height = kSide;
        spec.alpha = true;
        spec.pixels = planar;
        AddImageDefinition(doc, spec);
        TGeneralColorConverterOptions options;
        BenchConverter converter(doc, options, transform, cmyk);

        bareSeconds += BareTransformSeconds(transform, interleaved);
        const auto start = std::chrono::steady_clock::now();
        converter.Convert();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        passSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double megapixels = static_cast<double>(kSide) * kSide * state.iterations() / 1e6;
    state.counters["pass_Mpx/s"] = megapixels / passSeconds;
    state.counters["bare_Mpx/s"] = megapixels / bareSeconds;
    // The pass's own cost (gather, scatter, copies) relative to the transform.
    state.counters["overhead"] = passSeconds / bareSeconds - 1.0;
    cmsDeleteTransform(transform);
}

void PaintPass(benchmark::State& state) {
    const int nrPaints = static_cast<int>(state.range(0));
    double seconds = 0;
    for (auto _ : state) {
        ScopedDocument doc;
        std::vector<inkt_t*> cmyk = AddCmykInks(doc);
        for (int i = 0; i < nrPaints; ++i) {
            const double f = (i % 256) / 255.0;
            AddSolid(doc, {{cmyk[0], f}, {cmyk[1], 1 - f}, {cmyk[2], 0.5}, {cmyk[3], 0.25}});
        }
        TGeneralColorConverterOptions options;
        BenchConverter converter(doc, options, nullptr, cmyk);
        const auto start = std::chrono::steady_clock::now();
        converter.Convert();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["paints/s"] = nrPaints * static_cast<double>(state.iterations()) / seconds;
}

}  // namespace

BENCHMARK(ImagePass)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(PaintPass)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

BENCHMARK_MAIN();
