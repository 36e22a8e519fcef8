#include "tools/Conversion.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "formats/LargeBlocks.h"
#include "host/CMS.h"
#include "host/ZQTypes.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/StrategyDef.h"
#include "platform/cms/TProc.h"
#include "platform/kelt/kelt_builder.h"
#include "tools/Coverage.h"
#include "tools/Database.h"
#include "tools/IccFile.h"
#include "tools/LinkWatch.h"
#include "tools/Methods.h"
#include "tools/ProgressBar.h"
#include "tools/Report.h"
#include "tools/Suggestions.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

namespace fs = std::filesystem;

/// The CMYK process that the device-link conversion maps the document's
/// process inks onto before it applies the link (the converter names it).
constexpr const char* kDeviceLinkProcess = "ISOCoated_v2_eci.icc";

/// Names longer than this are exported strategy texts, not names: the
/// converter imports them (so they are not looked up here).
constexpr std::size_t kLongestStrategyName = 256;

/// Shows the rows the converter reads as a progress bar while it lives.
class RowProgressScope {
  public:
    explicit RowProgressScope(ProgressBar& bar) : bar_(bar) {
        if (!bar_.Enabled()) {
            return;
        }
        rdz::kelt::SetRowProgress([this](const ct_def_t* definition, int row, int height) {
            if (definition != current_) {
                current_ = definition;
                label_ = std::string("Converting ") +
                         (definition != nullptr && definition->name != nullptr ? definition->name
                                                                               : "image");
            }
            bar_.Show(label_, static_cast<std::uint64_t>(row) + 1,
                      static_cast<std::uint64_t>(height));
        });
    }
    ~RowProgressScope() {
        if (bar_.Enabled()) {
            rdz::kelt::SetRowProgress(nullptr);
            bar_.Clear();
        }
    }
    RowProgressScope(const RowProgressScope&) = delete;
    RowProgressScope& operator=(const RowProgressScope&) = delete;

  private:
    ProgressBar& bar_;
    const ct_def_t* current_ = nullptr;
    std::string label_;
};

void CheckReadableFile(const std::string& path, const std::string& what) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        throw InputError(path + ": is a folder, not " + what);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot open " + what + ": " + std::strerror(errno));
    }
}

const char* StrategyTypeName(int type) {
    switch (type) {
        case TCMS::ColTransfTypeProfile:
            return "a profile transform";
        case TCMS::ColTransfTypeOrvex:
            return "an Orvex Color Strategy";
        case TCMS::ColTransfTypeDigitalPrinting:
            return "a Digital Printing Color Strategy";
        default:
            return "no type";
    }
}

/// The book and ink names the operator messages give an ink (the CMS ink
/// database's display names where it knows the ink).
std::pair<std::string, std::string> DisplayNames(const inkt_t* ink) {
    const char* book = nullptr;
    const char* name = nullptr;
    INK_get_group_and_name(ink, &book, &name);
    const std::shared_ptr<TInk> known = TIDB_GetInk(TCMS_GetLib(), book, name);
    if (!known) {
        return {"<unregistered>", name != nullptr ? name : ""};
    }
    const char* cmsBook = nullptr;
    const char* cmsName = nullptr;
    TInk_GetName(known, &cmsBook, &cmsName);
    char displayBook[256] = {};
    char displayInk[256] = {};
    TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), cmsBook, displayBook);
    TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), cmsBook, cmsName, displayInk);
    displayBook[255] = displayInk[255] = '\0';
    return {displayBook, displayInk};
}

std::vector<std::string> KindNames(const inkt_t* ink) {
    static const std::pair<unsigned, const char*> kKinds[] = {
        {rdz::kelt::InkProcess, "process"},           {rdz::kelt::InkOpaque, "opaque"},
        {rdz::kelt::InkTechnical, "technical"},       {rdz::kelt::InkVarnish, "varnish"},
        {rdz::kelt::InkUnregistered, "unregistered"}, {rdz::kelt::InkRegistration, "registration"}};
    std::vector<std::string> names;
    const unsigned kinds = rdz::kelt::InkKinds(ink);
    for (const auto& kind : kKinds) {
        if ((kinds & kind.first) != 0) {
            names.push_back(kind.second);
        }
    }
    return names;
}

/// A word for the command line: quoted when the shell would split it.
std::string ShellWord(const std::string& text) {
    if (!text.empty() && text.find_first_of(" \t'\"\\$`*?[]();&|<>!#~") == std::string::npos) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

/// Keeps the inks that --exception names unconverted, whatever their kind,
/// while it lives. The Color Strategy converter keeps only the unregistered
/// inks that its exception list names; the named inks are therefore marked
/// unregistered during the conversion and get their own kinds back after it,
/// before anything is written.
class ExceptionInks {
  public:
    ExceptionInks(document_object_t* document, const ConversionRequest& request, Console& console) {
        if (request.method != Method::Strategy) {
            return;
        }
        for (const std::string& exception : request.exceptions) {
            bool found = false;
            for (inkt_t* ink : rdz::kelt::Inks(document)) {
                const char* book = nullptr;
                const char* name = nullptr;
                INK_get_group_and_name(ink, &book, &name);
                if (name == nullptr || !EqualsIgnoringCase(exception, name)) {
                    continue;
                }
                found = true;
                const unsigned kinds = rdz::kelt::InkKinds(ink);
                if ((kinds & rdz::kelt::InkUnregistered) == 0) {
                    const char* process = nullptr;
                    INK_is_process(ink, &process);
                    marked_.push_back({ink, kinds, process != nullptr ? process : ""});
                    rdz::kelt::SetInkKinds(ink, kinds | rdz::kelt::InkUnregistered, process);
                }
                kept_.push_back(ink);
            }
            if (!found) {
                console.Warning("--exception " + exception + " names no ink of the document.");
            }
        }
    }
    ~ExceptionInks() { Restore(); }
    ExceptionInks(const ExceptionInks&) = delete;
    ExceptionInks& operator=(const ExceptionInks&) = delete;

    void Restore() {
        for (const Marked& marked : marked_) {
            rdz::kelt::SetInkKinds(marked.ink, marked.kinds,
                                   marked.process.empty() ? nullptr : marked.process.c_str());
        }
        marked_.clear();
    }
    bool Keeps(const inkt_t* ink) const {
        return std::find(kept_.begin(), kept_.end(), ink) != kept_.end();
    }

  private:
    struct Marked {
        inkt_t* ink;
        unsigned kinds;
        std::string process;
    };
    std::vector<Marked> marked_;
    std::vector<const inkt_t*> kept_;
};

/// The first operator message since `from` about the ink shown as B I.
std::string MessageAbout(const Console& console, std::size_t from,
                         const std::pair<std::string, std::string>& names) {
    const std::string shown = "nk " + names.first + " " + names.second + " ";
    const std::vector<rdz::kelt::Message>& said = console.Said();
    for (std::size_t i = from; i < said.size(); ++i) {
        if (said[i].text.find(shown) != std::string::npos) {
            return said[i].text;
        }
    }
    return std::string();
}

/// After a Color Strategy's set-up: one WARNING for each technical or
/// varnish ink that the strategy converts into process inks (it used to stay
/// off the press as its own plate), and a line for each ink --exception
/// keeps.
void WarnAboutInks(document_object_t* document, const ConversionRequest& request,
                   const ConversionWatch& watch, const ExceptionInks& exceptions, Console& console,
                   std::size_t firstMessage) {
    const std::string strategy = request.strategy.GetColorStrategy();
    for (const inkt_t* ink : rdz::kelt::Inks(document)) {
        const auto names = DisplayNames(ink);
        if (exceptions.Keeps(ink)) {
            console.Info("Ink " + names.first + " " + names.second +
                         " is kept unconverted: --exception names it.");
            continue;
        }
        const bool technical = INK_is_technical(ink) != 0;
        const bool varnish = INK_is_varnish(ink) != 0;
        if ((!technical && !varnish) || watch.inputInks.count(ink) == 0) {
            continue;
        }
        const char* name = nullptr;
        const char* book = nullptr;
        INK_get_group_and_name(ink, &book, &name);
        // An ink that the strategy itself defines is converted whatever type
        // is asked for; one decided by its kind stays with type 2.
        const bool defined =
            MessageAbout(console, firstMessage, names).find(" is defined in ") != std::string::npos;
        const bool typeKeeps =
            !defined && request.strategy.GetStrategyType() != TCMS::ColTransfTypeOrvex;
        console.Warning("Ink " + names.first + " " + names.second + " is a " +
                        (technical ? "technical" : "varnish") +
                        " ink and will now print: Color Strategy " + strategy +
                        " converts it into process inks. To keep it unconverted, use " +
                        (typeKeeps ? "--strategy-type 2 or " : "") + "--exception " +
                        ShellWord(name != nullptr ? name : "") + ".");
    }
}

/// Why a conversion stopped without a message of the converter's own.
std::string Diagnosis(const ConversionRequest& request, const Database& database) {
    switch (request.method) {
        case Method::Strategy:
            return "Color Strategy " + std::string(request.strategy.GetColorStrategy()) + " of " +
                   database.Describe() + " could not be prepared for this document's inks.";
        case Method::Profile: {
            const TReseparateOptions& options = request.reseparate;
            const std::string source = options.GetUseDocumentProfile()
                                           ? "the document's colour space"
                                           : "'" + options.GetSourceProfile() + "'";
            if (options.GetrodadazErivospace()) {
                return "The transforms from " + source + " to '" + options.GetDestinationProfile() +
                       "' of " + database.Describe() + " could not be built" +
                       (options.GetReseparate() ? ", or the ink-saving link after them" : "") + ".";
            }
            return "The ink-saving device link on " + source + " of " + database.Describe() +
                   " could not be computed or stored.";
        }
        case Method::DeviceLink:
            return "The device link " + request.reseparate.GetIccDeviceLink() +
                   " could not be applied through the process " + kDeviceLinkProcess + " of " +
                   database.Describe() + ".";
        case Method::None:
            break;
    }
    return std::string();
}

/// Whether the conversion changes the process colours' colour space, and
/// into which process (empty when unknown: a device link's).
bool ChangesColourSpace(const ConversionRequest& request, const Database& database,
                        std::string* destination) {
    destination->clear();
    if (!request.general.GetConvertCMYKLinework() && !request.general.GetConvertCMYKImages()) {
        return false;
    }
    switch (request.method) {
        case Method::Strategy: {
            const rdz::cms::StrategyDef* strategy =
                database.FindStrategy(request.strategy.GetColorStrategy());
            if (strategy == nullptr || !strategy->destination) {
                return false;
            }
            *destination = strategy->destination->Name();
            return !strategy->source || !strategy->source->SameProfileAs(*strategy->destination);
        }
        case Method::Profile:
            *destination = request.reseparate.GetDestinationProfile();
            return request.reseparate.GetrodadazErivospace();
        case Method::DeviceLink:
            return true;
        case Method::None:
            break;
    }
    return false;
}

}  // namespace

std::string FailedLine(Method method) {
    return std::string("The ") + MethodName(method) + " conversion failed; no output was written.";
}

int CoreCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

int ImageThreads(const ConversionRequest& request, int jobs) {
    if (request.threads > 0) {
        return request.threads;
    }
    return std::max(1, CoreCount() / std::max(1, jobs));
}

std::string CanonicalPath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal().string() : canonical.string();
}

void PrepareMethod(ConversionRequest& request, Database& database) {
    const std::string failed = FailedLine(request.method);
    switch (request.method) {
        case Method::Strategy: {
            const std::string name = request.strategy.GetColorStrategy();
            if (name.size() > kLongestStrategyName) {
                return;
            }
            const rdz::cms::StrategyDef* strategy = database.FindStrategy(name);
            if (strategy == nullptr) {
                throw ConversionFailed("Color Strategy " + name + " was not found in " +
                                           database.Describe() + "; " +
                                           WhatItHas(name, database.StrategyNames()) + ".",
                                       failed);
            }
            const int asked = request.strategy.GetStrategyType();
            if (asked != TCMS::ColTransfTypeAny && asked != strategy->type) {
                throw ConversionFailed(
                    "Color Strategy " + name + " is " + StrategyTypeName(strategy->type) +
                        " (type " + std::to_string(strategy->type) + "); --strategy-type " +
                        std::to_string(asked) + " asks for " + StrategyTypeName(asked) + ".",
                    failed);
            }
            return;
        }
        case Method::Profile: {
            TReseparateOptions& options = request.reseparate;
            const auto resolve = [&](const std::string& given, const char* option) {
                const std::string process = database.UseProcess(given);
                if (process.empty()) {
                    throw ConversionFailed(
                        std::string(option) + " " + given + ": no process of that name in " +
                            database.Describe() + ", and no ICC file of that name; " +
                            WhatItHas(given, database.ProcessNames()) + ".",
                        failed);
                }
                return process;
            };
            if (!options.GetSourceProfile().empty()) {
                options.SetSourceProfile(resolve(options.GetSourceProfile(), "--source"));
            }
            if (!options.GetDestinationProfile().empty()) {
                options.SetDestinationProfile(
                    resolve(options.GetDestinationProfile(), "--destination"));
            }
            return;
        }
        case Method::DeviceLink: {
            if (database.ProcessName(kDeviceLinkProcess).empty()) {
                throw ConversionFailed(
                    std::string("The device-link conversion takes the process inks as CMYK of "
                                "the process ") +
                        kDeviceLinkProcess + ", which " + database.Describe() +
                        " does not have; give --cms with a database that has it.",
                    failed);
            }
            return;
        }
        case Method::None:
            return;
    }
}

void CheckMethodFiles(const ConversionRequest& request) {
    if (request.method != Method::DeviceLink) {
        return;
    }
    // The converter reads the option as a URL or a path the same way.
    const std::string option = request.reseparate.GetIccDeviceLink();
    std::string path;
    try {
        path = ZQ_TURL::FromString(ZQ_TString(option.c_str(), 0xFFFFFFFFu)).LocalName().GetText();
    } catch (const ZQ_EException& error) {
        throw InputError(option + ": not a device-link file name: " + error.GetMessage());
    }
    CheckReadableFile(path, "the device-link file");
    CheckDeviceLinkFile(path, static_cast<unsigned int>(request.iccIntent));
}

const DocumentFormat& InputFormat(const std::string& input) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
        throw InputError(input + ": is a folder, not a file");
    }
    if (!std::ifstream(input, std::ios::binary)) {
        throw InputError(input + ": cannot open: " + std::strerror(errno));
    }
    const DocumentFormat* format = FormatOfFile(input);
    if (format == nullptr) {
        std::string known;
        for (const DocumentFormat* candidate : AllFormats()) {
            known += (known.empty() ? "" : ", ") + std::string(candidate->Description());
        }
        throw InputError(input + ": not a file rodadazerivo reads (it reads " + known + ")");
    }
    return *format;
}

std::unique_ptr<FormatDocument> LoadInput(const DocumentFormat& format, const std::string& input,
                                          const ConversionRequest& request,
                                          const DatabaseChoice& database, const InkBooks& books,
                                          ProgressBar* progress) {
    ReadSettings settings;
    settings.books = &books;
    settings.progress = progress;
    settings.allowOutsidePaths = request.allowOutsidePaths;
    // The profile the conversion takes the process colours to be in, so that
    // a file that embeds another one can say so. The database is not open
    // yet: its files are read directly.
    std::string source;
    if (request.method == Method::Profile) {
        source = request.reseparate.GetSourceProfile();
    } else if (request.method == Method::Strategy && !database.folder.empty()) {
        const std::string name = request.strategy.GetColorStrategy();
        const fs::path file = fs::path(database.folder) / "strategies" / (name + ".json");
        std::error_code ec;
        if (name.find('/') == std::string::npos && fs::is_regular_file(file, ec) &&
            fs::file_size(file, ec) < (1u << 20)) {
            std::ifstream in(file);
            const nlohmann::json strategy = nlohmann::json::parse(in, nullptr, false);
            if (strategy.is_object() && strategy.contains("source") &&
                strategy["source"].is_string()) {
                source = strategy["source"].get<std::string>();
            }
        }
    }
    if (!source.empty()) {
        std::error_code ec;
        fs::path file = fs::path(database.folder) / "processes" / source;
        if (database.folder.empty() || source.find('/') != std::string::npos ||
            !fs::is_regular_file(file, ec)) {
            file = source;  // --source may name an ICC file
        }
        if (fs::is_regular_file(file, ec) && fs::file_size(file, ec) < (256u << 20)) {
            std::ifstream in(file, std::ios::binary);
            settings.sourceProfile.assign(std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>());
            settings.sourceProfileName = file.filename().string();
        }
    }
    return format.Read(input, settings);
}

void CheckOutputIsNotInput(const FormatDocument& input, const std::string& output) {
    const std::string target = CanonicalPath(output);
    for (const std::string& file : input.Files()) {
        if (CanonicalPath(file) == target) {
            throw UsageError("the output '" + output +
                             "' is a file of the input: the input is never overwritten");
        }
    }
}

void CheckDocument(const ConversionRequest& request, const Database& database,
                   document_object_t* document) {
    if (request.method != Method::Profile || !request.reseparate.GetUseDocumentProfile()) {
        return;
    }
    const char* space = DOC_get_colorspace(document);
    const bool tagged =
        DOC_is_colorspace_tagged(document) != 0 && space != nullptr && space[0] != '\0';
    const std::string setUp =
        "The profile conversion could not be set up; nothing was "
        "converted and no output was written.";
    if (tagged && DOC_is_colorspace_in_database(document) != 0 &&
        database.ProcessName(space).empty()) {
        throw ConversionFailed("The document's colour space " + std::string(space) +
                                   " is not a process of " + database.Describe() + "; " +
                                   WhatItHas(space, database.ProcessNames()) + ".",
                               setUp);
    }
    if (!tagged && request.reseparate.GetSourceProfile().empty()) {
        throw ConversionFailed(
            "The document names no colour space, and no --source is given to take instead.", setUp);
    }
}

OutputProfile OutputProfileOf(const ConversionRequest& request, const Database& database) {
    OutputProfile profile;
    std::string destination;
    profile.changed = ChangesColourSpace(request, database, &destination);
    if (profile.changed && !destination.empty()) {
        profile.icc = database.ProcessProfile(destination);
        profile.name = profile.icc.empty() ? "" : database.ProcessName(destination);
    }
    return profile;
}

void RunConversion(document_object_t* document, ConversionRequest& request, Database& database,
                   Console& console, ConversionReport* report) {
    const std::string method = MethodName(request.method);
    ConversionWatch watch;
    std::unique_ptr<TColorConverter> converter = MakeConverter(document, request, watch);
    if (!converter) {
        throw WorkError("The " + method +
                        " conversion is not available in this build of rodadazerivo.");
    }
    const int threads = ImageThreads(request, std::max(1, request.jobs));
    converter->SetThreadCount(threads);

    // What the report compares the result with.
    struct InkBefore {
        const inkt_t* ink;
        std::pair<std::string, std::string> names;
        std::vector<std::string> kinds;
    };
    std::vector<InkBefore> inksBefore;
    for (const inkt_t* ink : rdz::kelt::Inks(document)) {
        const char* book = nullptr;
        const char* name = nullptr;
        INK_get_group_and_name(ink, &book, &name);
        inksBefore.push_back(
            {ink, {book != nullptr ? book : "", name != nullptr ? name : ""}, KindNames(ink)});
    }
    std::vector<std::pair<paint_t*, int>> changes;
    for (paint_t* paint : rdz::kelt::Paints(document)) {
        int count = rdz::kelt::ChangeCount(paint);
        for (const paint_t* step : rdz::kelt::VignetteSteps(paint)) {
            count += rdz::kelt::ChangeCount(step);
        }
        changes.emplace_back(paint, count);
    }
    const CoverageStats paintsBefore = PaintCoverage(document);
    const std::size_t imageCount = rdz::kelt::ImageDefinitions(document).size();

    ExceptionInks exceptions(document, request, console);
    const std::size_t firstMessage = console.Said().size();
    const int errorsBefore = console.Errors();
    std::map<const inkt_t*, std::string> reasons;
    watch.afterInit = [&] {
        for (const InkBefore& ink : inksBefore) {
            reasons[ink.ink] = MessageAbout(console, firstMessage, DisplayNames(ink.ink));
        }
        if (request.method == Method::Strategy) {
            WarnAboutInks(document, request, watch, exceptions, console, firstMessage);
        }
    };
    const DatabaseChoice& choice = database.Choice();
    LinkWatch links({choice.folder, choice.linkStore});
    bool ran = false;
    bool explained = false;  // the failure carries its own reason
    std::string failure;
    std::string cause;
    CoverageStats imagesBefore, imagesAfter;
    std::vector<const ct_def_t*> imagesConverted, imagesFailed;
    {
        ImageCoverage coverage;
        RowProgressScope progress(console.Progress());
        struct PreparedBlockRelease {
            ~PreparedBlockRelease() { ReleasePreparedBlock(); }
        } release;  // a block prepared for the converted image that it did not take
        try {
            if (request.resolve) {
                converter->Resolve();
            }
            converter->Convert();
            ran = converter->ConversionRan();
            if (!ran) {
                failure = "The " + method +
                          " conversion could not be set up; nothing was converted and no output "
                          "was written.";
            }
        } catch (const std::exception& error) {
            // The converters report the reason first and then throw a bare
            // std::exception; anything else carries its own text.
            const std::string what = error.what();
            failure = "The " + method + " conversion failed" +
                      (what == "std::exception" ? std::string() : ": " + what) +
                      "; no output was written.";
            explained = what != "std::exception";
        } catch (...) {
            failure = "The " + method +
                      " conversion failed (unknown error); no output was "
                      "written.";
        }
        // A failure that names its own reason (the memory budget, a file
        // that cannot be written) needs no guess at the cause.
        if (!failure.empty() && !explained && console.Errors() == errorsBefore) {
            cause = Diagnosis(request, database);
        }
        coverage.Finish(&imagesBefore, &imagesAfter, &imagesConverted, &imagesFailed);
    }
    exceptions.Restore();

    const std::vector<LinkRecord> computed = links.Computed();
    bool computedForUser = false;
    for (const LinkRecord& link : computed) {
        computedForUser = computedForUser ||
                          (!choice.linkStore.empty() &&
                           link.file.compare(0, choice.linkStore.size(), choice.linkStore) == 0);
    }
    static bool userStoreNamed = false;
    if (computedForUser && !userStoreNamed) {
        userStoreNamed = true;
        console.Warning((choice.origin == "default"
                             ? "The default CMS database is shared: "
                             : "The CMS database " + choice.folder + " cannot be written: ") +
                        "device links computed with it are kept in " + choice.linkStore +
                        "/links and found there next time.");
    }

    if (ran) {
        std::string destination;
        if (ChangesColourSpace(request, database, &destination)) {
            rdz::kelt::SetColorSpace(document, destination.empty() ? nullptr : destination.c_str(),
                                     !destination.empty());
        }
    }

    if (report != nullptr) {
        report->ran = ran;
        for (const InkBefore& ink : inksBefore) {
            InkRecord record{ink.names.first, ink.names.second, ink.kinds, "kept", ""};
            const bool converted = watch.inputInks.count(ink.ink) != 0;
            record.decision = converted ? "converted" : "kept";
            record.reason = reasons[ink.ink];
            if (exceptions.Keeps(ink.ink)) {
                record.reason = "--exception names it";
            } else if (record.reason.empty() && watch.initialised) {
                const bool process = INK_is_process(ink.ink, nullptr) != 0;
                record.reason =
                    converted ? "a process ink: the " + method + " conversion converts it"
                    : process
                        ? "a process ink, but process colours of paints are not "
                          "converted (--no-linework)"
                        : "not a process ink: the " + method + " conversion keeps it as it is";
            }
            report->inks.push_back(std::move(record));
        }
        for (const inkt_t* ink : rdz::kelt::Inks(document)) {
            const bool old =
                std::any_of(inksBefore.begin(), inksBefore.end(),
                            [&](const InkBefore& before) { return before.ink == ink; });
            if (!old) {
                const char* book = nullptr;
                const char* name = nullptr;
                INK_get_group_and_name(ink, &book, &name);
                report->inks.push_back({book != nullptr ? book : "", name != nullptr ? name : "",
                                        KindNames(ink), "added",
                                        "an output ink of the " + method + " conversion"});
            }
        }
        const int failedPaints = watch.failedPaints.load();
        for (const auto& [paint, before] : changes) {
            int count = rdz::kelt::ChangeCount(paint);
            for (const paint_t* step : rdz::kelt::VignetteSteps(paint)) {
                count += rdz::kelt::ChangeCount(step);
            }
            (count != before ? report->paints.converted : report->paints.kept) += 1;
        }
        report->paints.failed = std::min(failedPaints, report->paints.kept);
        report->paints.kept -= report->paints.failed;
        report->images.converted = static_cast<int>(imagesConverted.size());
        report->images.failed = static_cast<int>(imagesFailed.size());
        report->images.kept =
            static_cast<int>(imageCount) - report->images.converted - report->images.failed;
        report->paintsBefore = paintsBefore;
        report->paintsAfter = PaintCoverage(document);
        report->imagesBefore = imagesBefore;
        report->imagesAfter = imagesAfter;
        report->linksComputed = computed;
        report->linksReused = links.Reused();
    }
    if (!failure.empty()) {
        throw ConversionFailed(cause, failure);
    }
}

}  // namespace rdz::tools
