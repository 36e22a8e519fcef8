// rodadazerivo convert
#include <unistd.h>

#include <cstdio>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "platform/kelt/kelt_builder.h"
#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/Database.h"
#include "tools/ProgressBar.h"
#include "tools/Report.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

std::string Settings(const ConversionRequest& request) {
    switch (request.method) {
        case Method::Strategy:
            return std::string("Color Strategy ") + request.strategy.GetColorStrategy();
        case Method::Profile:
            return (request.reseparate.GetUseDocumentProfile()
                        ? "the document's profile"
                        : "source " + request.reseparate.GetSourceProfile()) +
                   (request.reseparate.GetrodadazErivospace()
                        ? ", destination " + request.reseparate.GetDestinationProfile()
                        : std::string()) +
                   (request.reseparate.GetReseparate() ? ", reseparated with ink saving" : "");
        case Method::DeviceLink:
            return "device link " + request.reseparate.GetIccDeviceLink();
        case Method::None:
            break;
    }
    return std::string();
}

/// The input's format, once the input and the output are a pair the program
/// can convert. Throws UsageError or InputError.
const DocumentFormat& CheckInputAndOutput(const std::string& input, const std::string& output) {
    if (CanonicalPath(input) == CanonicalPath(output)) {
        throw UsageError("the output must not be the input: the input is never overwritten");
    }
    const DocumentFormat& format = InputFormat(input);
    if (!format.NamesOutput(output)) {
        throw UsageError(std::string("the output must be of the same kind as the input (") +
                         format.Description() + "): '" + output + "'");
    }
    format.CheckOutputName(output);
    return format;
}

}  // namespace

int ExitStatusOf(std::exception_ptr failure, std::string* text) {
    try {
        std::rethrow_exception(failure);
    } catch (const ConversionFailed& error) {
        *text = error.Cause().empty() ? error.what() : error.Cause() + " " + error.what();
        return 1;
    } catch (const UsageError& error) {
        *text = error.what();
        return 2;
    } catch (const InputError& error) {
        *text = error.what();
        return 2;
    } catch (const std::exception& error) {
        *text = error.what();
        return 1;
    } catch (...) {
        *text = "unknown error";
        return 1;
    }
}

int SayFailure(Console& console, std::exception_ptr failure, const std::string& command) {
    try {
        std::rethrow_exception(failure);
    } catch (const UsageError& error) {
        console.Error(std::string(error.what()) + ". Run 'rodadazerivo" +
                      (command.empty() ? "" : " " + command) + " --help' for usage.");
        return 2;
    } catch (const InputError& error) {
        console.Error(error.what());
        return 2;
    } catch (const ConversionFailed& error) {
        if (!error.Cause().empty()) {
            console.Error(error.Cause());
        }
        console.Error(error.what());
        return 1;
    } catch (const WorkError& error) {
        console.Error(error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        console.Error("Not enough memory.");
        return 1;
    } catch (const std::exception& error) {
        console.Error(error.what());
        return 1;
    } catch (...) {
        console.Error("Unknown error.");
        return 1;
    }
}

void ApplyMemoryBudget(const ConversionRequest& request, Console& console) {
    const std::uint64_t budget =
        request.maxMemoryGiven ? request.maxMemory : rdz::kelt::DefaultMemoryBudget();
    rdz::kelt::SetMemoryBudget(budget);
    console.Detail("Memory budget for images: " + rdz::kelt::MemorySizeText(budget) + ".");
}

void ConvertOne(ConversionRequest& request, const std::string& input, const std::string& output,
                DatabaseSession& session, const InkBooks& books, Console& console,
                ConversionReport& report) {
    const DatabaseChoice& choice = session.Choice();
    report.input = input;
    report.output = output;
    report.method = MethodName(request.method);
    report.details = Settings(request);
    report.database = choice.folder;
    report.linkStore = choice.linkStore.empty() ? choice.folder : choice.linkStore;
    const DocumentFormat& format = CheckInputAndOutput(input, output);
    std::unique_ptr<FormatDocument> document =
        LoadInput(format, input, request, choice, books, &console.Progress());
    CheckOutputIsNotInput(*document, output);
    Database& database = session.Open();
    PrepareMethod(request, database);
    CheckDocument(request, database, document->Document());

    // The output's folder is tried before the work starts.
    OutputFiles outputs;
    const std::string temporary = outputs.Add(output);
    WriteSettings settings;
    settings.progress = &console.Progress();
    settings.compression = request.compression;
    settings.compressionLevel = request.compressionLevel;
    settings.profile = OutputProfileOf(request, database);
    document->PrepareOutput(output, temporary, outputs, settings);

    RunConversion(document->Document(), request, database, console, &report);

    document->Write(output, temporary, outputs, settings);
    outputs.Commit();
    report.status = "converted";
    report.exitStatus = 0;
    console.Info(report.SummaryLine());
    console.Info("Wrote " + output);
}

int RunConvertCommand(CommandLine& line, Console& console) {
    ConversionRequest& request = line.conversion;
    DatabaseSession session(ChooseDatabase(request.cmsOption));
    console.SetDatabase(session.Describe());
    console.Detail(
        "Using " + session.Describe() +
        (session.Choice().linkStore.empty()
             ? ""
             : "; device links computed are kept in " + session.Choice().linkStore + "/links"));
    if (request.outputFolder.empty()) {
        CheckInputAndOutput(request.Input(), request.output);
    }
    CheckMethodFiles(request);
    ApplyMemoryBudget(request, console);
    const InkBooks books = InkBooks::Load(session.Choice().folder);
    if (!request.outputFolder.empty()) {
        return RunBatch(request, session, books, console);
    }

    ConversionReport report;
    try {
        ConvertOne(request, request.Input(), request.output, session, books, console, report);
    } catch (...) {
        if (!request.report.empty()) {
            report.exitStatus = ExitStatusOf(std::current_exception(), &report.error);
            report.messages = console.Said();
            WriteReport(request.report, report.ToJson());
        }
        throw;
    }
    if (!request.report.empty()) {
        report.messages = console.Said();
        WriteReport(request.report, report.ToJson());
        console.Info("Wrote the report " + request.report);
    }
    return 0;
}

}  // namespace rdz::tools
