// A 6000 x 6000 CMYK image through the ICC device-link converter, against
// LittleCMS applying the same device-link file row by row to the same pixels
// held in one buffer, in the same iteration. "ratio" is the converter's speed
// relative to LittleCMS (1.0: as fast).
//
//   bench_devicelink --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <chrono>
#include <filesystem>

#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "bench/BenchNoise.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

constexpr int kSide = 6000;

fs::path MakeLink() {
    const fs::path file = fs::temp_directory_path() / "rdz-bench-devicelink.icc";
    cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
    cmsHTRANSFORM t = cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(t, 4.3, 0);
    cmsSaveProfileToFile(link, file.string().c_str());
    cmsCloseProfile(link);
    cmsDeleteTransform(t);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
    return file;
}

double LittleCmsSeconds(const fs::path& file, const std::vector<std::uint8_t>& pixels) {
    cmsHPROFILE link = cmsOpenProfileFromFile(file.string().c_str(), "r");
    cmsHTRANSFORM t = cmsCreateTransform(link, TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    std::vector<std::uint8_t> out(pixels.size());
    const size_t row = static_cast<size_t>(kSide) * 4;
    const auto start = std::chrono::steady_clock::now();
    for (int y = 0; y < kSide; ++y) {
        cmsDoTransform(t, pixels.data() + y * row, out.data() + y * row, kSide);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(out.data());
    cmsDeleteTransform(t);
    cmsCloseProfile(link);
    return seconds;
}

void DeviceLinkImage(benchmark::State& state) {
    const fs::path file = MakeLink();
    rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
    const std::vector<std::uint8_t> pixels = Noise(static_cast<size_t>(kSide) * kSide * 4);
    double converterSeconds = 0;
    double littleCmsSeconds = 0;
    for (auto _ : state) {
        ScopedDocument doc;
        ImageSetup image;
        image.inks = AddCmykInks(doc, "Process", "CMYK");
        image.width = kSide;
        image.height = kSide;
        image.pixels = pixels;
        AddImageDefinition(doc, image);
        TGeneralColorConverterOptions general;
        TReseparateOptions options;
        options.SetRodadazErivoSpace(true);
        options.SetIccDeviceLink(file.string());
        TColorConverter_IccDeviceLink converter(doc, general, options);

        littleCmsSeconds += LittleCmsSeconds(file, pixels);
        const auto start = std::chrono::steady_clock::now();
        converter.Convert();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        converterSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double megapixels = static_cast<double>(kSide) * kSide * state.iterations() / 1e6;
    state.counters["converter_Mpx/s"] = megapixels / converterSeconds;
    state.counters["lcms_Mpx/s"] = megapixels / littleCmsSeconds;
    state.counters["ratio"] = littleCmsSeconds / converterSeconds;
    rdz::cms::SetDatabaseFolder("");
    fs::remove(file);
}

}  // namespace

BENCHMARK(DeviceLinkImage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

BENCHMARK_MAIN();
