// rodadazerivo preview
#include <cstdio>

#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/Errors.h"
#include "tools/OutputFiles.h"
#include "tools/Preview.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
namespace {

constexpr int kColumnWidth = 360;

}  // namespace

int RunPreviewCommand(const std::vector<std::string>& args, Console& console) {
    ConversionRequest request = ParseConversion(args, true);
    if (request.help) {
        std::fputs(HelpText("preview"), stdout);
        return 0;
    }
    SelectCmsDatabase(request.cmsFolder);
    CheckMethodInputs(request);
    const InkBooks books = InkBooks::Load(request.cmsFolder);
    LoadedInput input = LoadInput(request, books, &console.Progress());
    CheckOutputIsNotInput(input, request.output);

    OutputFiles outputs;
    const std::string temporary = outputs.Add(request.output);
    InkPalette palette(books);
    Picture picture = DrawDocument(input.document.get(), palette, kColumnWidth);
    if (request.method != Method::None) {
        RunConversion(input.document.get(), request, console);
        // Inks the conversion made are new to the palette; kept inks look
        // the same on both sides.
        picture = SideBySide(picture, DrawDocument(input.document.get(), palette, kColumnWidth));
    }
    WritePng(picture, temporary, request.output);
    outputs.Commit();
    console.Info("Wrote " + request.output);
    return 0;
}

}  // namespace rdz::tools
