// The document pass's own cost: the image pass (gather, transform, scatter,
// copies) of a 6000 x 6000 CMYK image with alpha whose transform is a plain
// LittleCMS transform, against that transform applied row by row to the same
// pixels on one thread, in interleaved rounds (bench/BenchRounds.h), each
// content with 1 image thread and with --threads N; and the paint pass with an
// identity transform.
//
//   bench_converter [--threads N]
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "converter/TColorConverter.h"
#include "platform/kelt/kelt_builder.h"

using namespace rdz::kelt;

namespace {

constexpr const char* kSourceProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
constexpr const char* kDestinationProfile = "/usr/share/color/icc/ghostscript/ps_cmyk.icc";
const int kSide = rdz::bench::ImageSide(6000);

cmsHTRANSFORM MakeTransform() {
    cmsHPROFILE src = cmsOpenProfileFromFile(kSourceProfile, "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(kDestinationProfile, "r");
    cmsHTRANSFORM t =
        cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
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

/// cmsDoTransform over the image's interleaved pixels, row by row into a
/// new image.
void BareTransform(cmsHTRANSFORM transform, const std::vector<std::uint8_t>& pixels) {
    // A whole output image, as the pass makes one.
    const size_t row = static_cast<size_t>(kSide) * 4;
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[row * static_cast<size_t>(kSide)]);
    for (int y = 0; y < kSide; ++y) {
        cmsDoTransform(transform, pixels.data() + y * row, out.get() + y * row, kSide);
    }
    benchmark::DoNotOptimize(out.get());
}

void ImagePass(benchmark::State& state, BenchContent content) {
    static int round = 0;
    const int threads = static_cast<int>(state.range(0));
    cmsHTRANSFORM transform = MakeTransform();
    // CMYK and alpha in the document; the same CMYK interleaved for the bare side.
    const BenchImage& pixels = CachedImage(content, kSide, kSide, 5);
    std::vector<std::uint8_t> interleaved(static_cast<size_t>(kSide) * kSide * 4);
    for (size_t p = 0, n = static_cast<size_t>(kSide) * kSide; p < n; ++p) {
        std::copy_n(&pixels.interleaved[p * 5], 4, &interleaved[p * 4]);
    }
    std::unique_ptr<ScopedDocument> doc;
    std::vector<inkt_t*> cmyk;
    rdz::bench::Round(state, round,
                      {[&] {
                           doc.reset();
                           doc = std::make_unique<ScopedDocument>();
                           cmyk = AddCmykInks(*doc);
                           ImageSetup spec;
                           spec.inks = cmyk;
                           spec.width = kSide;
                           spec.height = kSide;
                           spec.alpha = true;
                           spec.pixels = pixels.planar;
                           AddImageDefinition(*doc, spec);
                       },
                       [&] {
                           TGeneralColorConverterOptions options;
                           BenchConverter converter(*doc, options, transform, cmyk);
                           converter.SetThreadCount(threads);
                           converter.Convert();
                       }},
                      {{}, [&] { BareTransform(transform, interleaved); }});
    doc.reset();
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

int main(int argc, char** argv) {
    return rdz::bench::Main(argc, argv, [](int threads) {
        for (BenchContent content : {BenchContent::Noise, BenchContent::Realistic}) {
            auto* b = benchmark::RegisterBenchmark(
                (std::string("ImagePass/") + ContentName(content)).c_str(), ImagePass, content);
            rdz::bench::Rounds(b)->ArgName("threads");
            for (int t : rdz::bench::ThreadRuns(threads)) {
                b->Arg(t);
            }
        }
        benchmark::RegisterBenchmark("PaintPass", PaintPass)
            ->Arg(1000000)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(rdz::bench::kRounds);
    });
}
