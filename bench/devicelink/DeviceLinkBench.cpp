// A 6000 x 6000 CMYK image through the ICC device-link converter, against
// LittleCMS applying the same device-link file (default flags, as a user
// would call it: cmsCreateTransform with flags 0) row by row on one thread to
// the same pixels, in interleaved rounds (bench/BenchRounds.h). Each content
// (noise, realistic) runs with 1 image thread and with --threads N.
//
//   bench_devicelink [--threads N] [--benchmark_filter=realistic]
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

const int kSide = rdz::bench::ImageSide(6000);

fs::path MakeLink() {
    const fs::path file =
        fs::temp_directory_path() / ("rdz-bench-devicelink-" + std::to_string(getpid()) + ".icc");
    cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
    cmsHTRANSFORM t =
        cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(t, 4.3, 0);
    cmsSaveProfileToFile(link, file.string().c_str());
    cmsCloseProfile(link);
    cmsDeleteTransform(t);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
    return file;
}

/// LittleCMS applying `file` to `pixels` (interleaved CMYK) row by row into
/// a new image.
void LittleCms(const fs::path& file, const std::vector<std::uint8_t>& pixels) {
    cmsHPROFILE link = cmsOpenProfileFromFile(file.string().c_str(), "r");
    cmsHTRANSFORM t = cmsCreateTransform(link, TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    // A whole output image, as a program that converts an image makes one.
    const size_t row = static_cast<size_t>(kSide) * 4;
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[row * static_cast<size_t>(kSide)]);
    for (int y = 0; y < kSide; ++y) {
        cmsDoTransform(t, pixels.data() + y * row, out.get() + y * row, kSide);
    }
    benchmark::DoNotOptimize(out.get());
    cmsDeleteTransform(t);
    cmsCloseProfile(link);
}

void DeviceLinkImage(benchmark::State& state, BenchContent content) {
    static const fs::path file = MakeLink();
    static int round = 0;
    const int threads = static_cast<int>(state.range(0));
    rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
    RecordingMessageSink quiet;
    const BenchImage& pixels = CachedImage(content, kSide, kSide, 4);
    std::unique_ptr<ScopedDocument> doc;
    rdz::bench::Round(state, round,
                      {[&] {
                           doc.reset();
                           doc = std::make_unique<ScopedDocument>();
                           ImageSetup image;
                           image.inks = AddCmykInks(*doc, "Process", "CMYK");
                           image.width = kSide;
                           image.height = kSide;
                           image.pixels = pixels.planar;
                           AddImageDefinition(*doc, image);
                       },
                       [&] {
                           TGeneralColorConverterOptions general;
                           TReseparateOptions options;
                           options.SetRodadazErivoSpace(true);
                           options.SetIccDeviceLink(file.string());
                           TColorConverter_IccDeviceLink converter(*doc, general, options);
                           converter.SetThreadCount(threads);
                           converter.Convert();
                       }},
                      {{}, [&] { LittleCms(file, pixels.interleaved); }});
    doc.reset();
    rdz::cms::SetDatabaseFolder("");
}

}  // namespace

int main(int argc, char** argv) {
    return rdz::bench::Main(argc, argv, [](int threads) {
        for (BenchContent content : {BenchContent::Noise, BenchContent::Realistic}) {
            auto* b = benchmark::RegisterBenchmark(
                (std::string("DeviceLink/") + ContentName(content)).c_str(), DeviceLinkImage,
                content);
            rdz::bench::Rounds(b)->ArgName("threads");
            for (int t : rdz::bench::ThreadRuns(threads)) {
                b->Arg(t);
            }
        }
    });
}
