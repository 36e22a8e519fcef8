// rodadazerivo convert
#include <cstdio>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files

int RunConvertCommand(const std::vector<std::string>& args, Console& console) {
    ConversionRequest request = ParseConversion(args, false);
    if (request.help) {
        std::fputs(HelpText("convert"), stdout);
        return 0;
    }
    if (CanonicalPath(request.input) == CanonicalPath(request.output)) {
        throw UsageError("the output must not be the input: the input is never overwritten");
    }
    const DocumentFormat& format = InputFormat(request.input);
    if (!format.NamesOutput(request.output)) {
        throw UsageError(std::string("the output must be of the same kind as the input (") +
                         format.Description() + "): '" + request.output + "'");
    }
    format.CheckOutputName(request.output);
    SelectCmsDatabase(request.cmsFolder);
    CheckMethodInputs(request);
    const InkBooks books = InkBooks::Load(request.cmsFolder);
    std::unique_ptr<FormatDocument> input = LoadInput(format, request, books, &console.Progress());
    CheckOutputIsNotInput(*input, request.output);

    // The output's folder is tried before the work starts.
    OutputFiles outputs;
    const std::string temporary = outputs.Add(request.output);

    WriteSettings settings;
    settings.progress = &console.Progress();
    input->PrepareOutput(request.output, temporary, outputs, settings);

    RunConversion(input->Document(), request, console);

    input->Write(request.output, temporary, outputs, settings);
    outputs.Commit();
    console.Info("Wrote " + request.output);
    return 0;
}

}  // namespace rdz::tools
