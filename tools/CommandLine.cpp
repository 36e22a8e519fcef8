#include "tools/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "formats/Errors.h"
#include "formats/FileNames.h"
#include "formats/InkBooks.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

/// Options that belong to one method, and those of both ICC methods.
const std::set<std::string> kStrategyOptions = {"--exception", "--policy", "--strategy-type"};
const std::set<std::string> kProfileOptions = {
    "--source",    "--destination", "--use-document-profile",
    "--no-bpc",    "--clean",       "--reseparate",
    "--total-ink", "--max-k",       "--start-k",
    "--range",     "--purpose"};
const std::set<std::string> kIccOptions = {"--intent"};
/// Options that take a value.
const std::set<std::string> kValued = {
    "--cms",     "--strategy",    "--device-link", "--exception", "--policy",    "--strategy-type",
    "--source",  "--destination", "--intent",      "--clean",     "--total-ink", "--max-k",
    "--start-k", "--range",       "--purpose",     "-o",          "--output"};
const std::set<std::string> kFlags = {"--profile",
                                      "--use-document-profile",
                                      "--no-bpc",
                                      "--reseparate",
                                      "--no-linework",
                                      "--no-images",
                                      "--no-flatten",
                                      "--convert-mask-paints",
                                      "--keep-registration",
                                      "--resolve",
                                      "--help",
                                      "-h"};

long long IntegerValue(const std::string& option, const std::string& text, long long low,
                       long long high) {
    long long value = 0;
    if (!ParseInteger(text, &value) || value < low || value > high) {
        throw UsageError(option + " expects a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

double NumberValue(const std::string& option, const std::string& text) {
    double value = 0.0;
    if (!ParseNumber(text, &value)) {
        throw UsageError(option + " expects a number, not '" + text + "'");
    }
    return value;
}

int IntentValue(const std::string& option, const std::string& text) {
    long long value = 0;
    if (!ParseInteger(text, &value) || value < 2 || value > 5) {
        throw UsageError(option +
                         " expects 2 (perceptual), 3 (relative colorimetric), 4 (saturation) or "
                         "5 (absolute colorimetric), not '" +
                         text + "'");
    }
    return static_cast<int>(value);
}

void SetCleanColours(TReseparateOptions& options, const std::string& list) {
    static const std::pair<const char*, CleanColorsInk> kNames[] = {
        {"cyan", CleanCyan}, {"magenta", CleanMagenta}, {"yellow", CleanYellow},
        {"red", CleanRed},   {"green", CleanGreen},     {"blue", CleanBlue}};
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        bool known = false;
        for (const auto& entry : kNames) {
            if (EqualsIgnoringCase(name, entry.first)) {
                options.SetCleanColors(entry.second, true);
                known = true;
            }
        }
        if (!known) {
            throw UsageError(
                "--clean expects colours among cyan, magenta, yellow, red, green, "
                "blue (separated by commas), not '" +
                name + "'");
        }
        start = comma + 1;
    }
}

}  // namespace

const char* MethodName(Method method) {
    switch (method) {
        case Method::Strategy:
            return "Color Strategy";
        case Method::Profile:
            return "profile";
        case Method::DeviceLink:
            return "device-link";
        case Method::None:
            break;
    }
    return "no";
}

bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) != 0) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseNumber(const std::string& text, double* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) != 0) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

ConversionRequest ParseConversion(const std::vector<std::string>& args, bool preview) {
    ConversionRequest request;
    request.strategy.SetStrategyType(TCMS::ColTransfTypeAny);
    if (const char* cms = std::getenv("RODADAZERIVO_CMS")) {
        request.cmsFolder = cms;
    }
    std::set<std::string> seen;
    std::vector<std::string> methodOptions;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool hasValue = false;
        if (optionsEnded || option.empty() || option[0] != '-' || option == "-") {
            if (!request.input.empty()) {
                throw UsageError("only one input is converted at a time (unexpected '" + option +
                                 "')");
            }
            request.input = option;
            continue;
        }
        if (option == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasValue = true;
        }
        if (kValued.count(option) != 0) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    throw UsageError(option + " needs a value");
                }
                value = args[++i];
            }
        } else if (kFlags.count(option) != 0) {
            if (hasValue) {
                throw UsageError(option + " takes no value");
            }
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
        if (option == "--help" || option == "-h") {
            request.help = true;
            return request;
        }
        if (seen.count(option) != 0 && option != "--exception") {
            throw UsageError(option + " is given twice");
        }
        seen.insert(option);

        const Method method = option == "--strategy"      ? Method::Strategy
                              : option == "--profile"     ? Method::Profile
                              : option == "--device-link" ? Method::DeviceLink
                                                          : Method::None;
        if (method != Method::None) {
            if (request.method != Method::None) {
                throw UsageError("give one method: --strategy, --profile or --device-link");
            }
            request.method = method;
        }
        if (kStrategyOptions.count(option) != 0 || kProfileOptions.count(option) != 0 ||
            kIccOptions.count(option) != 0) {
            methodOptions.push_back(option);
        }

        if (option == "--cms") {
            request.cmsFolder = value;
        } else if (option == "-o" || option == "--output") {
            request.output = value;
        } else if (option == "--strategy") {
            if (value.empty()) {
                throw UsageError("--strategy needs the name of a Color Strategy");
            }
            request.strategy.SetColorStrategy(value);
            request.general.SetColorStrategy(value);
        } else if (option == "--exception") {
            request.strategy.AddException(value);
        } else if (option == "--policy") {
            request.strategy.SetInkNotInStrategyPolicy(
                static_cast<InkNotInStrategyPolicy>(IntegerValue(option, value, 0, 2)));
        } else if (option == "--strategy-type") {
            request.strategy.SetStrategyType(
                static_cast<TCMS::ColTransfType>(IntegerValue(option, value, -1, 3)));
        } else if (option == "--device-link") {
            if (value.empty()) {
                throw UsageError("--device-link needs a file");
            }
            request.reseparate.SetIccDeviceLink(value);
        } else if (option == "--source") {
            request.reseparate.SetSourceProfile(value);
        } else if (option == "--destination") {
            request.reseparate.SetDestinationProfile(value);
        } else if (option == "--use-document-profile") {
            request.reseparate.SetUseDocumentProfile(true);
        } else if (option == "--intent") {
            request.reseparate.SetRenderingIntent(
                static_cast<TCMS::RenderingIntent>(IntentValue(option, value)));
        } else if (option == "--no-bpc") {
            request.reseparate.SetBlackPointCompensation(false);
        } else if (option == "--clean") {
            SetCleanColours(request.reseparate, value);
        } else if (option == "--reseparate") {
            request.reseparate.SetReseparate(true);
        } else if (option == "--total-ink") {
            request.reseparate.SetTotalInk(NumberValue(option, value));
        } else if (option == "--max-k") {
            request.reseparate.SetMaximumK(NumberValue(option, value));
        } else if (option == "--start-k") {
            request.reseparate.SetStartK(NumberValue(option, value));
        } else if (option == "--range") {
            request.reseparate.SetRange(NumberValue(option, value));
        } else if (option == "--purpose") {
            request.reseparate.SetPurpose(
                static_cast<TCMS::BlackGenMode>(IntegerValue(option, value, 0, 4)));
        } else if (option == "--no-linework") {
            request.general.SetConvertCMYKLinework(false);
        } else if (option == "--no-images") {
            request.general.SetConvertCMYKImages(false);
        } else if (option == "--no-flatten") {
            request.general.SetFlatten(false);
        } else if (option == "--convert-mask-paints") {
            request.general.SetConvertOpacityMaskPaints(true);
        } else if (option == "--keep-registration") {
            request.general.SetKeepRegistrationColor(true);
        } else if (option == "--resolve") {
            request.resolve = true;
        }
    }

    for (const std::string& option : methodOptions) {
        const bool fits =
            (kStrategyOptions.count(option) != 0 && request.method == Method::Strategy) ||
            (kProfileOptions.count(option) != 0 && request.method == Method::Profile) ||
            (kIccOptions.count(option) != 0 &&
             (request.method == Method::Profile || request.method == Method::DeviceLink));
        if (!fits) {
            throw UsageError(
                option + " does not apply to " +
                (request.method == Method::None
                     ? std::string("a command without a method")
                     : std::string("--") + (request.method == Method::Strategy  ? "strategy"
                                            : request.method == Method::Profile ? "profile"
                                                                                : "device-link")));
        }
    }

    if (request.method == Method::Profile) {
        // Colour-space conversion when there is a destination; reseparation
        // on request; either works from the source profile.
        const bool convertSpace = !request.reseparate.GetDestinationProfile().empty();
        request.reseparate.SetRodadazErivoSpace(convertSpace);
        if (!convertSpace && !request.reseparate.GetReseparate()) {
            throw UsageError(
                "--profile needs --destination NAME (to convert the colour space), "
                "--reseparate, or both");
        }
        if (request.reseparate.GetSourceProfile().empty() &&
            !request.reseparate.GetUseDocumentProfile()) {
            throw UsageError("--profile needs --source NAME or --use-document-profile");
        }
    } else if (request.method == Method::DeviceLink) {
        // The one combination the device-link conversion accepts.
        request.reseparate.SetRodadazErivoSpace(true);
        request.reseparate.SetReseparate(false);
    } else if (request.method == Method::None && !preview) {
        throw UsageError("give a method: --strategy NAME, --profile or --device-link FILE");
    }

    if (request.input.empty()) {
        throw UsageError("give the input file");
    }
    if (request.output.empty()) {
        throw UsageError("give the output file with -o OUTPUT");
    }
    if (preview && !HasExtension(request.output, {".png"})) {
        throw UsageError("the preview is a PNG file (.png): '" + request.output + "'");
    }
    return request;
}

}  // namespace rdz::tools
