// rodadazerivo preview
#include <cstdio>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "tools/Commands.h"
#include "tools/Conversion.h"
#include "tools/Database.h"
#include "tools/Preview.h"
#include "tools/ProgressBar.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

constexpr int kColumnWidth = 360;

}  // namespace

int RunPreviewCommand(CommandLine& line, Console& console) {
    ConversionRequest& request = line.conversion;
    DatabaseSession session(ChooseDatabase(request.cmsOption));
    console.SetDatabase(session.Describe());
    CheckMethodFiles(request);
    ApplyMemoryBudget(request, console);
    const InkBooks books = InkBooks::Load(session.Choice().folder);
    std::unique_ptr<FormatDocument> input =
        LoadInput(InputFormat(request.Input()), request.Input(), request, session.Choice(), books,
                  &console.Progress());
    CheckOutputIsNotInput(*input, request.output);
    Database& database = session.Open();
    PrepareMethod(request, database);
    CheckDocument(request, database, input->Document());

    // The picture's size is settled before anything is drawn or converted.
    const PreviewLayout layout = PlanPreview(input->Document(), kColumnWidth);
    if (!layout.Complete()) {
        console.Say(rdz::kelt::MessageLevel::Warning, PreviewShortfall(layout));
    }
    OutputFiles outputs;
    const std::string temporary = outputs.Add(request.output);
    InkPalette palette(books);
    Picture picture = DrawDocument(input->Document(), palette, layout);
    if (request.method != Method::None) {
        RunConversion(input->Document(), request, database, console, nullptr);
        // Inks the conversion made are new to the palette; kept inks look
        // the same on both sides.
        picture = SideBySide(picture, DrawDocument(input->Document(), palette, layout));
    }
    WritePng(picture, temporary, request.output);
    outputs.Commit();
    console.Info("Wrote " + request.output);
    return 0;
}

}  // namespace rdz::tools
