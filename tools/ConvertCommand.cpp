// rodadazerivo convert
#include <cstdio>

#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/DocumentFile.h"
#include "tools/Errors.h"
#include "tools/OutputFiles.h"
#include "tools/ProgressBar.h"
#include "tools/TiffDocument.h"

namespace rdz::tools {

int RunConvertCommand(const std::vector<std::string>& args, Console& console) {
    ConversionRequest request = ParseConversion(args, false);
    if (request.help) {
        std::fputs(HelpText("convert"), stdout);
        return 0;
    }
    if (KindOfFile(request.output) == FileKind::Document) {
        CheckDocumentOutputName(request.output);
    }
    SelectCmsDatabase(request.cmsFolder);
    CheckMethodInputs(request);
    if (CanonicalPath(request.input) == CanonicalPath(request.output)) {
        throw UsageError("the output must not be the input: the input is never overwritten");
    }
    const InkBooks books = InkBooks::Load(request.cmsFolder);
    LoadedInput input = LoadInput(request, books, &console.Progress());
    CheckOutputIsNotInput(input, request.output);

    // The output's folder is tried before the work starts.
    OutputFiles outputs;
    const std::string temporary = outputs.Add(request.output);

    RunConversion(input.document.get(), request, console);

    if (input.kind == FileKind::Tiff) {
        WriteTiffDocument(input.document.get(), input.tiffLayout, temporary, request.output,
                          &console.Progress());
    } else {
        WriteDocumentFile(input.document.get(), request.output, temporary, outputs, input.files,
                          &console.Progress());
    }
    outputs.Commit();
    console.Info("Wrote " + request.output);
    return 0;
}

}  // namespace rdz::tools
