// rodadazerivo icc-info
#include <cstdio>
#include <functional>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "formats/Errors.h"
#include "tools/Commands.h"
#include "tools/IccFile.h"
#include "tools/OptionValues.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

const char* SpaceName(TintColorSpace space) {
    static const char* const kNames[] = {"XYZ",  "Lab",  "RGB",  "Gray", "CMYK", "3CLR",
                                         "5CLR", "4CLR", "6CLR", "7CLR", "8CLR"};
    return space < TintCS_Unknown ? kNames[space] : "unknown";
}

std::string IntentName(TintRenderingIntent intent) {
    return IccIntentName(static_cast<int>(intent));
}

/// "CMYK, 4 channels: Cyan, Magenta, Yellow, Black".
std::string Side(TintColorSpace space, int channels,
                 const std::function<std::string(unsigned int)>& name) {
    std::string text = std::string(SpaceName(space)) + ", " + std::to_string(channels) +
                       (channels == 1 ? " channel" : " channels");
    try {
        std::string names;
        for (int i = 0; i < channels; ++i) {
            names += (i == 0 ? "" : ", ") + name(static_cast<unsigned int>(i));
        }
        text += channels > 0 ? ": " + names : "";
    } catch (const TintException&) {
        // The profile names no colorants (the engine's text says only that).
        text += ": none";
    }
    return text;
}

}  // namespace

int RunIccInfoCommand(const CommandLine& line, Console&) {
    const std::string& path = line.iccInfo.file;
    const int intent = line.iccInfo.iccIntent;
    const std::vector<unsigned char> bytes = ReadIccFile(path);
    const std::string version =
        std::to_string(bytes[8]) + "." + std::to_string((bytes[9] >> 4) & 0x0F);
    const std::string profileClass = HeaderSignature(bytes, 12);
    TintLittleCMS* engine = TintLittleCMS::GetInstance();
    const auto size = static_cast<unsigned int>(bytes.size());

    std::string report = "File: " + path + "\n";
    try {
        if (profileClass == "link") {
            const TintDLProfile profile = engine->OpenDLProfile(bytes.data(), size);
            report += "Kind: device link (ICC " + version + ")\n";
            report += "Rendering intent: " + IntentName(profile.GetRenderingIntent()) + "\n";
            report += "Input: " +
                      Side(profile.GetInputColorSpace(), profile.GetNumberOfInputChannels(),
                           [&](unsigned int i) { return profile.GetInputColorantName(i); }) +
                      "\n";
            report += "Output: " +
                      Side(profile.GetOutputColorSpace(), profile.GetNumberOfOutputChannels(),
                           [&](unsigned int i) { return profile.GetOutputColorantName(i); }) +
                      "\n";
            try {
                engine->CreateDeviceLink(
                    profile,
                    intent < 0 ? TintRI_FromProfile : static_cast<TintRenderingIntent>(intent), 8,
                    false);
                report += std::string("Link: can be built (8 bits per sample, ") +
                          (intent < 0 ? "the profile's intent" : IccIntentName(intent)) + ")\n";
            } catch (const TintException& error) {
                report += std::string("Link: cannot be built (") + error.what() + ")\n";
            }
        } else {
            const TintProfile profile = engine->OpenProfile(bytes.data(), size);
            report +=
                std::string("Kind: ") + ProfileClassName(profileClass) + " (ICC " + version + ")\n";
            report += "Rendering intent: " + IntentName(profile.GetRenderingIntent()) + "\n";
            report += "Colour space: " +
                      Side(profile.GetColorSpace(), profile.GetNumberOfChannels(),
                           [&](unsigned int i) { return profile.GetColorantName(i); }) +
                      "\n";
        }
    } catch (const TintException& error) {
        throw InputError(path + ": " + error.what());
    }
    std::fputs(report.c_str(), stdout);
    return 0;
}

}  // namespace rdz::tools
