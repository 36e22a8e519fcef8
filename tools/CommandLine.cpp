#include "tools/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "formats/Errors.h"
#include "formats/FileNames.h"
#include "formats/InkBooks.h"
#include "tools/OptionValues.h"

namespace rdz::tools {
using rdz::formats::EqualsIgnoringCase;
using rdz::formats::HasExtension;
using rdz::formats::UsageError;
namespace {

const std::vector<std::string> kCommands = {"convert", "preview", "icc-info", "postscript", "list"};
const std::vector<std::string> kListed = {"strategies", "processes", "inkbooks", "links"};
const std::vector<std::string> kCompressions = {"none", "lzw", "deflate", "zstd"};
const std::vector<std::string> kIntentWords = {"perceptual", "relative", "saturation", "absolute",
                                               "0",          "1",        "2",          "3"};

/// Options that belong to one method, and the option of both ICC methods.
const std::set<std::string> kStrategyOptions = {"--exception", "--policy", "--strategy-type"};
const std::set<std::string> kProfileOptions = {
    "--source",    "--destination", "--use-document-profile",
    "--no-bpc",    "--clean",       "--reseparate",
    "--total-ink", "--max-k",       "--start-k",
    "--range",     "--purpose"};
const std::set<std::string> kIccOptions = {"--intent"};

/// The texts of a conversion's options, as given; turned into values after
/// the parse, where the checks that involve several options are made too.
struct ConversionTexts {
    std::string cms, output, outputFolder, report, strategy, policy, strategyType, source,
        destination, intent, clean, totalInk, maxK, startK, range, purpose, deviceLink, threads,
        jobs, compression, compressionLevel, maxMemory;
    std::vector<std::string> exceptions, inputs;
    bool profile = false, useDocumentProfile = false, reseparate = false, noBpc = false,
         noLinework = false, noImages = false, noFlatten = false, convertMaskPaints = false,
         keepRegistration = false, convertRegistration = false, resolve = false,
         allowOutsidePaths = false;
};

/// A CLI11 check that refuses a value with our own message (UsageError
/// passes through CLI11 untouched).
CLI::Validator Check(std::function<void(const std::string&)> check) {
    return CLI::Validator(
        [check](std::string& value) {
            check(value);
            return std::string();
        },
        "");
}

CLI::Validator IntegerCheck(const std::string& option, long long low, long long high) {
    return Check([=](const std::string& v) { IntegerValue(option, v, low, high); });
}

CLI::Validator PercentCheck(const std::string& option, double high) {
    return Check([=](const std::string& v) { PercentValue(option, v, high); });
}

CLI::Validator ChoiceCheck(const std::string& option, const std::vector<std::string>& choices) {
    return Check([=](const std::string& v) { ChoiceValue(option, v, choices); });
}

/// The words of "a,b,c" (or "a b c") as a bash word list, one per line.
std::string BashWords(const std::string& words) {
    std::string text = "$'";
    for (const char c : words) {
        text += c == ',' || c == ' ' ? std::string("\n") : std::string(1, c);
    }
    return text + "'";
}

/// "{a,b,c}": the type name of an option that takes one of a few words;
/// the completion script offers them.
std::string Words(const std::vector<std::string>& words) {
    std::string text = "{";
    for (const std::string& word : words) {
        text += (text.size() > 1 ? "," : "") + word;
    }
    return text + "}";
}

CLI::Option* Valued(CLI::App* app, const std::string& names, std::string& target,
                    const std::string& typeName) {
    return app->add_option(names, target)->type_name(typeName);
}

void AddHelp(CLI::App* app, bool& help) {
    app->add_flag("-h,--help", help, "show the help");
}

void AddVerbosity(CLI::App* app, bool& quiet, bool& verbose) {
    app->add_flag("-q,--quiet", quiet, "errors only");
    app->add_flag("-v,--verbose", verbose, "more detail");
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

void DefineConversion(CLI::App* app, ConversionTexts& t, bool preview) {
    app->allow_extras();
    Valued(app, "--cms", t.cms, "DIR");
    Valued(app, "-o,--output", t.output, "FILE");
    if (!preview) {
        Valued(app, "-O,--output-folder", t.outputFolder, "DIR");
        Valued(app, "--jobs", t.jobs, "N")->check(IntegerCheck("--jobs", 1, 256));
        Valued(app, "--report", t.report, "FILE");
        Valued(app, "--compression", t.compression, Words(kCompressions))
            ->check(ChoiceCheck("--compression", kCompressions));
        Valued(app, "--compression-level", t.compressionLevel, "N")
            ->check(IntegerCheck("--compression-level", 1, 9));
    }
    Valued(app, "--strategy", t.strategy, "STRATEGY");
    app->add_option("--exception", t.exceptions)->type_name("INK")->allow_extra_args(false);
    Valued(app, "--policy", t.policy, Words({"0", "1", "2"}))
        ->check(IntegerCheck("--policy", 0, 2));
    Valued(app, "--strategy-type", t.strategyType, Words({"0", "1", "2", "3"}))
        ->check(IntegerCheck("--strategy-type", -1, 3));
    app->add_flag("--profile", t.profile);
    Valued(app, "--source", t.source, "PROCESS");
    Valued(app, "--destination", t.destination, "PROCESS");
    app->add_flag("--use-document-profile", t.useDocumentProfile);
    app->add_flag("--reseparate", t.reseparate);
    Valued(app, "--intent", t.intent, Words(kIntentWords))->check(Check([](const std::string& v) {
        IccIntentValue("--intent", v);
    }));
    app->add_flag("--no-bpc", t.noBpc);
    Valued(app, "--clean", t.clean, "LIST")->check(Check([](const std::string& v) {
        TReseparateOptions scratch;
        SetCleanColours(scratch, v);
    }));
    Valued(app, "--total-ink", t.totalInk, "PERCENT")->check(PercentCheck("--total-ink", 400));
    Valued(app, "--max-k", t.maxK, "PERCENT")->check(PercentCheck("--max-k", 100));
    Valued(app, "--start-k", t.startK, "PERCENT")->check(PercentCheck("--start-k", 100));
    Valued(app, "--range", t.range, "PERCENT")->check(PercentCheck("--range", 100));
    Valued(app, "--purpose", t.purpose, Words({"none", "light", "medium", "ink-saving", "heavy"}))
        ->check(Check([](const std::string& v) { PurposeValue("--purpose", v); }));
    Valued(app, "--device-link", t.deviceLink, "FILE");
    app->add_flag("--no-linework", t.noLinework);
    app->add_flag("--no-images", t.noImages);
    app->add_flag("--no-flatten", t.noFlatten);
    app->add_flag("--convert-mask-paints", t.convertMaskPaints);
    app->add_flag("--keep-registration", t.keepRegistration);
    app->add_flag("--convert-registration", t.convertRegistration);
    app->add_flag("--resolve", t.resolve);
    Valued(app, "--threads", t.threads, "N")->check(IntegerCheck("--threads", 1, 256));
    Valued(app, "--max-memory", t.maxMemory, "SIZE")->check(Check([](const std::string& v) {
        SizeValue("--max-memory", v);
    }));
    app->add_flag("--allow-outside-paths", t.allowOutsidePaths);
    app->add_option("inputs", t.inputs)->type_name("FILE");
}

/// The option an unknown argument names ("--frob=3" names "--frob").
std::string OptionName(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    return argument.compare(0, 2, "--") == 0 && equals != std::string::npos
               ? argument.substr(0, equals)
               : argument;
}

void RefuseExtras(const CLI::App* app) {
    for (const std::string& extra : app->remaining()) {
        throw UsageError("unknown option '" + OptionName(extra) + "'");
    }
}

/// Turns the texts of `convert` or `preview` into the request.
ConversionRequest MakeConversion(const CLI::App* app, const ConversionTexts& t, bool preview) {
    ConversionRequest request;
    const auto given = [app](const char* option) {
        const CLI::Option* found = app->get_option_no_throw(option);
        return found != nullptr && found->count() > 0;
    };
    request.cmsOption = t.cms;
    if (given("--cms") && t.cms.empty()) {
        throw UsageError("--cms needs a folder");
    }

    // The program's defaults where they differ from the records': any type
    // of strategy, and the registration colour kept on every plate.
    request.strategy.SetStrategyType(TCMS::ColTransfTypeAny);
    request.general.SetKeepRegistrationColor(true);

    int methods = 0;
    for (const char* option : {"--strategy", "--profile", "--device-link"}) {
        if (given(option)) {
            ++methods;
        }
    }
    if (methods > 1) {
        throw UsageError("give one method: --strategy, --profile or --device-link");
    }
    request.method = given("--strategy")      ? Method::Strategy
                     : given("--profile")     ? Method::Profile
                     : given("--device-link") ? Method::DeviceLink
                                              : Method::None;

    for (const CLI::Option* option : app->get_options()) {
        if (option->count() == 0 || option->get_lnames().empty()) {
            continue;
        }
        const std::string longName = "--" + option->get_lnames().front();
        const bool fits =
            (kStrategyOptions.count(longName) == 0 && kProfileOptions.count(longName) == 0 &&
             kIccOptions.count(longName) == 0) ||
            (kStrategyOptions.count(longName) != 0 && request.method == Method::Strategy) ||
            (kProfileOptions.count(longName) != 0 && request.method == Method::Profile) ||
            (kIccOptions.count(longName) != 0 &&
             (request.method == Method::Profile || request.method == Method::DeviceLink));
        if (!fits) {
            throw UsageError(
                longName + " does not apply to " +
                (request.method == Method::None
                     ? std::string("a command without a method")
                     : std::string("--") + (request.method == Method::Strategy  ? "strategy"
                                            : request.method == Method::Profile ? "profile"
                                                                                : "device-link")));
        }
    }

    if (given("--strategy")) {
        if (t.strategy.empty()) {
            throw UsageError("--strategy needs the name of a Color Strategy");
        }
        request.strategy.SetColorStrategy(t.strategy);
        request.general.SetColorStrategy(t.strategy);
    }
    for (const std::string& exception : t.exceptions) {
        request.strategy.AddException(exception);
        request.exceptions.push_back(exception);
    }
    if (given("--policy")) {
        request.strategy.SetInkNotInStrategyPolicy(
            static_cast<InkNotInStrategyPolicy>(IntegerValue("--policy", t.policy, 0, 2)));
    }
    if (given("--strategy-type")) {
        request.strategy.SetStrategyType(static_cast<TCMS::ColTransfType>(
            IntegerValue("--strategy-type", t.strategyType, -1, 3)));
    }
    if (given("--device-link")) {
        if (t.deviceLink.empty()) {
            throw UsageError("--device-link needs a file");
        }
        request.reseparate.SetIccDeviceLink(t.deviceLink);
    }
    request.reseparate.SetSourceProfile(t.source);
    request.reseparate.SetDestinationProfile(t.destination);
    request.reseparate.SetUseDocumentProfile(t.useDocumentProfile);
    if (given("--intent")) {
        request.iccIntent = IccIntentValue("--intent", t.intent);
    }
    request.reseparate.SetRenderingIntent(CmsIntent(request.iccIntent));
    request.reseparate.SetBlackPointCompensation(!t.noBpc);
    if (given("--clean")) {
        SetCleanColours(request.reseparate, t.clean);
    }
    request.reseparate.SetReseparate(t.reseparate);
    // Percentages become the record's fractions (300% is 3.0); an option not
    // given keeps the record's default, which sets no limit.
    if (given("--total-ink")) {
        request.reseparate.SetTotalInk(PercentValue("--total-ink", t.totalInk, 400));
    }
    if (given("--max-k")) {
        request.reseparate.SetMaximumK(PercentValue("--max-k", t.maxK, 100));
    }
    if (given("--start-k")) {
        request.reseparate.SetStartK(PercentValue("--start-k", t.startK, 100));
    }
    if (given("--range")) {
        request.reseparate.SetRange(PercentValue("--range", t.range, 100));
    }
    if (given("--purpose")) {
        request.reseparate.SetPurpose(PurposeValue("--purpose", t.purpose));
    }
    request.general.SetConvertCMYKLinework(!t.noLinework);
    request.general.SetConvertCMYKImages(!t.noImages);
    request.general.SetFlatten(!t.noFlatten);
    request.general.SetConvertOpacityMaskPaints(t.convertMaskPaints);
    if (t.keepRegistration && t.convertRegistration) {
        throw UsageError("give one of --keep-registration and --convert-registration");
    }
    request.general.SetKeepRegistrationColor(!t.convertRegistration);
    request.resolve = t.resolve;
    if (given("--threads")) {
        request.threads = static_cast<int>(IntegerValue("--threads", t.threads, 1, 256));
    }
    if (given("--jobs")) {
        request.jobs = static_cast<int>(IntegerValue("--jobs", t.jobs, 1, 256));
    }
    if (given("--compression")) {
        request.compression = ChoiceValue("--compression", t.compression, kCompressions);
    }
    if (given("--compression-level")) {
        if (request.compression == "none" || request.compression == "lzw") {
            throw UsageError("--compression-level applies to deflate and zstd, not to " +
                             request.compression);
        }
        request.compressionLevel =
            static_cast<int>(IntegerValue("--compression-level", t.compressionLevel, 1, 9));
    }
    if (given("--max-memory")) {
        request.maxMemory = SizeValue("--max-memory", t.maxMemory);
        request.maxMemoryGiven = true;
    }
    request.allowOutsidePaths = t.allowOutsidePaths;
    request.report = t.report;
    if (given("--report") && t.report.empty()) {
        throw UsageError("--report needs a file");
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

    request.inputs = t.inputs;
    request.output = t.output;
    request.outputFolder = t.outputFolder;
    if (request.inputs.empty()) {
        throw UsageError("give the input file");
    }
    if (given("--output-folder")) {
        if (given("--output")) {
            throw UsageError(
                "give -o OUTPUT for one input or -O FOLDER for any number of inputs, not both");
        }
        if (t.outputFolder.empty()) {
            throw UsageError("-O needs a folder");
        }
        return request;
    }
    if (request.inputs.size() > 1) {
        throw UsageError("only one input is converted at a time with -o (unexpected '" +
                         request.inputs[1] + "'); give -O FOLDER to convert several");
    }
    if (request.output.empty()) {
        throw UsageError("give the output file with -o OUTPUT");
    }
    if (preview && !HasExtension(request.output, {".png"})) {
        throw UsageError("the preview is a PNG file (.png): '" + request.output + "'");
    }
    return request;
}

/// The parser of the whole program and the places its options are read into.
struct Parser {
    CLI::App app{"rodadazerivo", "rodadazerivo"};
    bool help = false, version = false, completion = false, quiet = false, verbose = false;
    ConversionTexts convert, preview;
    bool convertHelp = false, previewHelp = false, iccHelp = false, psHelp = false,
         listHelp = false;
    std::vector<std::string> iccFiles;
    std::string iccIntent;
    std::string psIntent, psOutput;
    std::vector<std::string> psInputs;
    bool csa = false, crd = false, bpc = false;
    std::vector<std::string> listWhat;
    std::string listCms;
    bool listJson = false;

    CLI::App* convertApp = nullptr;
    CLI::App* previewApp = nullptr;
    CLI::App* iccApp = nullptr;
    CLI::App* psApp = nullptr;
    CLI::App* listApp = nullptr;

    Parser() {
        app.set_help_flag();
        app.require_subcommand(0, 1);
        AddHelp(&app, help);
        AddVerbosity(&app, quiet, verbose);
        app.add_flag("--version", version, "show the version and the methods built in");
        app.add_flag("--bash-completion", completion)->group("");

        convertApp = app.add_subcommand("convert", "convert documents and TIFF images");
        previewApp = app.add_subcommand("preview", "draw a document before and after");
        iccApp = app.add_subcommand("icc-info", "show what the colour engine reads");
        psApp = app.add_subcommand("postscript", "write PostScript from an ICC profile");
        listApp = app.add_subcommand("list", "list what a CMS database holds");
        for (CLI::App* sub : {convertApp, previewApp, iccApp, psApp, listApp}) {
            sub->set_help_flag();
            AddVerbosity(sub, quiet, verbose);
        }
        AddHelp(convertApp, convertHelp);
        AddHelp(previewApp, previewHelp);
        AddHelp(iccApp, iccHelp);
        AddHelp(psApp, psHelp);
        AddHelp(listApp, listHelp);
        DefineConversion(convertApp, convert, false);
        DefineConversion(previewApp, preview, true);

        iccApp->allow_extras();
        Valued(iccApp, "--intent", iccIntent, Words(kIntentWords))
            ->check(Check([](const std::string& v) { IccIntentValue("--intent", v); }));
        iccApp->add_option("file", iccFiles)->type_name("FILE");

        psApp->allow_extras();
        psApp->add_flag("--csa", csa);
        psApp->add_flag("--crd", crd);
        psApp->add_flag("--bpc", bpc);
        Valued(psApp, "--intent", psIntent, Words(kIntentWords))
            ->check(Check([](const std::string& v) { IccIntentValue("--intent", v); }));
        Valued(psApp, "-o,--output", psOutput, "FILE");
        psApp->add_option("file", psInputs)->type_name("FILE");

        listApp->allow_extras();
        Valued(listApp, "--cms", listCms, "DIR");
        listApp->add_flag("--json", listJson);
        listApp->add_option("what", listWhat)->type_name(Words(kListed));
    }
};

/// CLI11's own refusals in our words.
UsageError Translate(const CLI::ParseError& error) {
    std::string text = error.what();
    const std::size_t colon = text.find(": ");
    const std::string option = colon == std::string::npos ? "" : text.substr(0, colon);
    if (text.find(": At Most 1 required but received") != std::string::npos) {
        return UsageError(option + " is given twice");
    }
    if (text.find(" required ") != std::string::npos &&
        text.find(" missing") != std::string::npos) {
        return UsageError(option + " needs a value");
    }
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return UsageError(text);
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

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string* command) {
    command->clear();
    // The command is the first word that is not an option; before it only
    // the program's own options may stand.
    std::size_t commandAt = args.size();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].empty() || args[i][0] != '-') {
            commandAt = i;
            break;
        }
    }
    for (std::size_t i = 0; i < commandAt; ++i) {
        static const std::set<std::string> kOwn = {
            "-h", "--help",    "--version", "-q",  "--quiet",
            "-v", "--verbose", "-qv",       "-vq", "--bash-completion"};
        if (kOwn.count(args[i]) == 0) {
            throw UsageError("unknown option '" + OptionName(args[i]) + "'");
        }
    }
    if (commandAt < args.size()) {
        if (std::find(kCommands.begin(), kCommands.end(), args[commandAt]) == kCommands.end()) {
            throw UsageError("unknown command '" + args[commandAt] + "'");
        }
        *command = args[commandAt];
    }
    // Everything after "--" is an input, whatever it looks like.
    std::vector<std::string> words = args;
    std::vector<std::string> afterEnd;
    const auto end = std::find(words.begin() + static_cast<long>(std::min(commandAt, words.size())),
                               words.end(), "--");
    if (end != words.end()) {
        afterEnd.assign(end + 1, words.end());
        words.erase(end, words.end());
    }

    // CLI11 would take the next word as the value of "--name=".
    for (const std::string& word : words) {
        if (word.size() > 3 && word.compare(0, 2, "--") == 0 && word.back() == '=') {
            throw UsageError(word.substr(0, word.size() - 1) + " needs a value");
        }
    }
    Parser parser;
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        parser.app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        throw Translate(error);
    }

    CommandLine line;
    line.command = *command;
    line.version = parser.version;
    line.bashCompletion = parser.completion;
    line.verbosity = parser.quiet     ? Verbosity::Quiet
                     : parser.verbose ? Verbosity::Verbose
                                      : Verbosity::Normal;
    if (parser.quiet && parser.verbose) {
        throw UsageError("give one of --quiet and --verbose");
    }
    if (line.command.empty() || parser.help) {
        line.help = parser.help;
        return line;
    }
    if (line.command == "convert" || line.command == "preview") {
        const bool preview = line.command == "preview";
        CLI::App* app = preview ? parser.previewApp : parser.convertApp;
        ConversionTexts& texts = preview ? parser.preview : parser.convert;
        line.help = preview ? parser.previewHelp : parser.convertHelp;
        if (line.help) {
            return line;
        }
        RefuseExtras(app);
        texts.inputs.insert(texts.inputs.end(), afterEnd.begin(), afterEnd.end());
        line.conversion = MakeConversion(app, texts, preview);
    } else if (line.command == "icc-info") {
        line.help = parser.iccHelp;
        if (line.help) {
            return line;
        }
        RefuseExtras(parser.iccApp);
        std::vector<std::string> files = parser.iccFiles;
        files.insert(files.end(), afterEnd.begin(), afterEnd.end());
        if (files.size() != 1 || files[0].empty()) {
            throw UsageError("icc-info takes one ICC file");
        }
        line.iccInfo.file = files[0];
        if (parser.iccApp->count("--intent") > 0) {
            line.iccInfo.iccIntent = IccIntentValue("--intent", parser.iccIntent);
        }
    } else if (line.command == "postscript") {
        line.help = parser.psHelp;
        if (line.help) {
            return line;
        }
        RefuseExtras(parser.psApp);
        std::vector<std::string> files = parser.psInputs;
        files.insert(files.end(), afterEnd.begin(), afterEnd.end());
        if (parser.csa == parser.crd) {
            throw UsageError("give one of --csa and --crd");
        }
        if (files.size() > 1) {
            throw UsageError("postscript takes one ICC file (unexpected '" + files[1] + "')");
        }
        if (files.empty() || parser.psOutput.empty()) {
            throw UsageError("give the ICC file and the output with -o OUTPUT");
        }
        line.postscript.csa = parser.csa;
        line.postscript.bpc = parser.bpc;
        line.postscript.input = files[0];
        line.postscript.output = parser.psOutput;
        if (parser.psApp->count("--intent") > 0) {
            line.postscript.iccIntent = IccIntentValue("--intent", parser.psIntent);
        }
    } else if (line.command == "list") {
        line.help = parser.listHelp;
        if (line.help) {
            return line;
        }
        RefuseExtras(parser.listApp);
        if (!afterEnd.empty() || parser.listWhat.size() != 1) {
            throw UsageError("list takes one of " + Alternatives(kListed));
        }
        line.list.what = ChoiceValue("list", parser.listWhat.front(), kListed);
        line.list.cmsOption = parser.listCms;
        if (parser.listApp->count("--cms") > 0 && parser.listCms.empty()) {
            throw UsageError("--cms needs a folder");
        }
        line.list.json = parser.listJson;
    }
    return line;
}

std::string BashCompletionScript() {
    Parser parser;
    std::string script =
        "# bash completion for rodadazerivo (made by 'rodadazerivo --bash-completion')\n"
        "_rodadazerivo() {\n"
        "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "    local command=\"\" cms=\"\" i IFS=$'\\n'\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case \"${COMP_WORDS[i]}\" in\n"
        "            convert|preview|icc-info|postscript|list)\n"
        "                [ -z \"$command\" ] && command=\"${COMP_WORDS[i]}\" ;;\n"
        "            --cms) cms=\"${COMP_WORDS[i+1]}\" ;;\n"
        "        esac\n"
        "    done\n"
        "    _rodadazerivo_words() { COMPREPLY=($(compgen -W \"$1\" -- \"$cur\")); }\n"
        "    _rodadazerivo_names() {\n"
        "        _rodadazerivo_words \"$(rodadazerivo list \"$1\" ${cms:+--cms} ${cms:+\"$cms\"} "
        "2>/dev/null | cut -f1)\"\n"
        "    }\n"
        "    case \"$prev\" in\n"
        "        --strategy) _rodadazerivo_names strategies; return ;;\n"
        "        --source|--destination) _rodadazerivo_names processes; return ;;\n";
    // Options whose value is one of a few words, a folder or a file.
    std::map<std::string, std::string> values;
    std::map<std::string, std::pair<std::string, std::string>> optionsOf;  // options, words
    std::string commands;
    for (CLI::App* sub :
         {parser.convertApp, parser.previewApp, parser.iccApp, parser.psApp, parser.listApp}) {
        std::string names;
        std::string positional;
        for (const CLI::Option* option : sub->get_options()) {
            const std::string type = option->get_type_name();
            if (option->get_lnames().empty() && option->get_snames().empty()) {
                positional = type;
                continue;
            }
            // Flags have no type name; every option that takes a value has one.
            for (const std::string& l : option->get_lnames()) {
                names += " --" + l;
                if (!type.empty()) {
                    values["--" + l] = type;
                }
            }
            for (const std::string& s : option->get_snames()) {
                names += " -" + s;
                if (!type.empty()) {
                    values["-" + s] = type;
                }
            }
        }
        const bool words = positional.size() > 1 && positional.front() == '{';
        optionsOf[sub->get_name()] = {names.substr(1),
                                      words ? positional.substr(1, positional.size() - 2) : ""};
        commands += (commands.empty() ? "" : " ") + sub->get_name();
    }
    std::map<std::string, std::vector<std::string>> byKind;
    for (const auto& [option, type] : values) {
        if (option != "--strategy" && option != "--source" && option != "--destination") {
            byKind[type].push_back(option);
        }
    }
    for (const auto& [type, options] : byKind) {
        std::string pattern;
        for (const std::string& option : options) {
            pattern += (pattern.empty() ? "" : "|") + option;
        }
        script += "        " + pattern + ") ";
        if (type == "DIR") {
            script += "COMPREPLY=($(compgen -d -- \"$cur\"))";
        } else if (type == "FILE") {
            script += "COMPREPLY=($(compgen -f -- \"$cur\"))";
        } else if (type.size() > 1 && type.front() == '{') {
            script += "_rodadazerivo_words " + BashWords(type.substr(1, type.size() - 2));
        } else {
            script += "COMPREPLY=()";
        }
        script += "; return ;;\n";
    }
    script += "    esac\n    case \"$command\" in\n";
    script += "        \"\") _rodadazerivo_words " +
              BashWords(commands + " --help --version --quiet --verbose") + " ;;\n";
    for (const auto& [command, lists] : optionsOf) {
        script += "        " + command + ")\n            if [[ \"$cur\" == -* ]]; then " +
                  "_rodadazerivo_words " + BashWords(lists.first) + "\n";
        script +=
            lists.second.empty()
                ? "            else COMPREPLY=($(compgen -f -- \"$cur\")); fi ;;\n"
                : "            else _rodadazerivo_words " + BashWords(lists.second) + "; fi ;;\n";
    }
    script += "    esac\n}\ncomplete -o filenames -F _rodadazerivo rodadazerivo\n";
    return script;
}

}  // namespace rdz::tools
