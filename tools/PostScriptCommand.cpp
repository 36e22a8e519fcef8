// rodadazerivo postscript
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "formats/Errors.h"
#include "tools/IccFile.h"
#include "formats/OutputFiles.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

int TakeText(int length, const char* text, void* userData) {
    static_cast<std::string*>(userData)->append(text, static_cast<std::size_t>(length));
    return length;
}

}  // namespace

int RunPostScriptCommand(const std::vector<std::string>& args, Console& console) {
    bool csa = false;
    bool crd = false;
    bool bpc = false;
    long long intent = TintRI_FromProfile;
    std::string input;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText("postscript"), stdout);
            return 0;
        }
        if (arg == "--csa" || arg == "--crd") {
            (arg == "--csa" ? csa : crd) = true;
        } else if (arg == "--bpc") {
            bpc = true;
        } else if (arg == "--intent" || arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            const std::string& value = args[++i];
            if (arg == "--intent") {
                if (!ParseInteger(value, &intent) || intent < 0 || intent > 4) {
                    throw UsageError("--intent expects 0, 1, 2, 3 or 4, not '" + value + "'");
                }
            } else {
                output = value;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError("unknown option '" + arg + "'");
        } else if (input.empty()) {
            input = arg;
        } else {
            throw UsageError("postscript takes one ICC file (unexpected '" + arg + "')");
        }
    }
    if (csa == crd) {
        throw UsageError("give one of --csa and --crd");
    }
    if (input.empty() || output.empty()) {
        throw UsageError("give the ICC file and the output with -o OUTPUT");
    }

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
