// rodadazerivo postscript
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "tools/Commands.h"
#include "tools/IccFile.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

int TakeText(int length, const char* text, void* userData) {
    static_cast<std::string*>(userData)->append(text, static_cast<std::size_t>(length));
    return length;
}

}  // namespace

int RunPostScriptCommand(const CommandLine& line, Console& console) {
    const PostScriptRequest& request = line.postscript;
    const std::string& input = request.input;
    const std::string& output = request.output;
    const bool csa = request.csa;
    const bool bpc = request.bpc;
    const int intent =
        request.iccIntent < 0 ? static_cast<int>(TintRI_FromProfile) : request.iccIntent;

    const std::vector<unsigned char> bytes = ReadIccFile(input);
    TintLittleCMS* engine = TintLittleCMS::GetInstance();
    TintProfile profile;
    try {
        profile = engine->OpenProfile(bytes.data(), static_cast<unsigned int>(bytes.size()));
    } catch (const TintException& error) {
        throw InputError(input + ": " + error.what());
    }
    std::string text;
    bool made = false;
    try {
        // LittleCMS takes no "the profile's own" intent: look it up here.
        auto renderingIntent = static_cast<TintRenderingIntent>(intent);
        if (renderingIntent == TintRI_FromProfile) {
            renderingIntent = profile.GetRenderingIntent();
            if (renderingIntent > TintRI_AbsoluteColorimetric) {
                renderingIntent = TintRI_Perceptual;
            }
        }
        made = csa ? engine->GetPostScriptCSA(profile, renderingIntent, &TakeText, &text)
                   : engine->GetPostScriptCRD(profile, renderingIntent, &TakeText, &text, bpc);
    } catch (const TintException& error) {
        throw WorkError(input + ": " + error.what());
    }
    if (!made || text.empty()) {
        throw WorkError(input + ": the colour engine made no PostScript for this profile");
    }

    OutputFiles outputs;
    const std::string temporary = outputs.Add(output);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        throw WorkError("cannot write '" + output + "': " + std::strerror(errno));
    }
    outputs.Commit();
    console.Info("Wrote " + output);
    return 0;
}

}  // namespace rdz::tools
