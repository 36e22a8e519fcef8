// Device-link bytes: written to a file and read by LoadDeviceLink, whose
// 8-bit link then converts a row of CMYK pixels; and the same bytes opened
// directly as a device-link profile of either engine (colour spaces, channel
// counts, colorant names of both sides, a 16-bit link converting doubles).
// The last byte chooses the engine and the rendering intent. With the
// program's library at hand, its check of a device-link file runs too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/LoadDeviceLink.h"
#include "engine/TintDLProfile.h"
#include "engine/TintEngineManager.h"
#include "engine/TintException.h"
#include "fuzz/FuzzSupport.h"

#ifdef RDZ_FUZZ_HAVE_TOOLS
#include "formats/Errors.h"
#include "tools/IccFile.h"
#endif

namespace {

template <typename Call>
void Refusable(Call call) {
    try {
        call();
    } catch (const TintException&) {
    }
}

void ConvertRow(const TintLink& link) {
    // 4 bytes per pixel in and out: corners and a ramp of the CMYK cube.
    std::vector<std::uint8_t> in(4 * 64), out(4 * 64, 0);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<std::uint8_t>((i * 37u) ^ (i >> 2));
    link.Transform(64, in.data(), out.data());
}

void OpenDirectly(TintEngineManager& manager, const std::uint8_t* data, std::size_t size,
                  TintRenderingIntent intent) {
    TintDLProfile profile;
    try {
        profile = manager.OpenDLProfile(data, static_cast<unsigned int>(size));
    } catch (const TintException&) {
        return;
    }
    int inputs = 0, outputs = 0;
    Refusable([&] { profile.GetInputColorSpace(); });
    Refusable([&] { profile.GetOutputColorSpace(); });
    Refusable([&] { profile.GetRenderingIntent(); });
    Refusable([&] { inputs = profile.GetNumberOfInputChannels(); });
    Refusable([&] { outputs = profile.GetNumberOfOutputChannels(); });
    for (int i = 0; i <= 16; ++i) {
        Refusable([&] { profile.GetInputColorantName(static_cast<unsigned int>(i)); });
        Refusable([&] { profile.GetOutputColorantName(static_cast<unsigned int>(i)); });
    }
    Refusable([&] {
        TintLink link = manager.CreateDeviceLink(profile, 16, intent, false);
        // Room for any channel count a link may record.
        std::vector<double> in(16 * 4, 0.5), out(16 * 4, 0.0);
        in[0] = 0.0;
        in[1] = 100.0;
        link.TransformValues(4, in.data(), out.data());
    });
    (void)inputs;
    (void)outputs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rdzfuzz::ScratchFolder folder("rdz-fuzz-link");
    const std::string path = folder / "link.icc";
    rdzfuzz::WriteBytes(path, data, size);

    const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    TintEngineManager& manager = *TintEngineManager::GetInstance();
    manager.SelectEngine((choice & 1) ? TintEngineType_LittleCMS : TintEngineType_WindowsCMM);
    const auto cmsIntent = static_cast<TCMS::RenderingIntent>(1 + (choice >> 1) % 6);

    std::shared_ptr<const TintLink> link =
        LoadDeviceLink(manager, path, cmsIntent, [](const std::string&) {});
    // A link may still refuse to convert (the Windows colour system has no
    // bitmap format for '4CLR'); that is a TintException like any refusal.
    if (link)
        Refusable([&] { ConvertRow(*link); });
    OpenDirectly(manager, data, size, static_cast<TintRenderingIntent>((choice >> 1) % 5));
#ifdef RDZ_FUZZ_HAVE_TOOLS
    try {
        rdz::tools::CheckDeviceLinkFile(path, (choice >> 1) % 4);
    } catch (const rdz::formats::InputError&) {
    }
#endif
    return 0;
}
