// Converts one paint with the Color Strategy "Coated to Uncoated" of a CMS
// database and prints the paint's inks before and after.
//   convert_paint <CMS database folder>
#include <cstdio>
#include <exception>
#include <vector>

#include "options/TGeneralColorConverterOptions.h"
#include "options/TRodadazErivoOptions.h"
#include "platform/cms/StandIn.h"        // the CMS library: which database
#include "platform/kelt/kelt_builder.h"  // the document database: making documents
#include "strategy/TColorConverter_RodadazErivo.h"

static void Print(const char* when, const paint_t* paint) {
    std::printf("%s:", when);
    for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
        std::printf(" %s %.1f%%", amount.ink->name, amount.fraction * 100.0);
    }
    std::printf("\n");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: convert_paint CMS-DATABASE-FOLDER\n");
        return 2;
    }
    rdz::cms::SetDatabaseFolder(argv[1]);

    rdz::kelt::ScopedDocument document;  // the current document (TheDoc) while it lives
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(document);
    paint_t* skin = rdz::kelt::AddSolid(document, {{cmyk[1], 0.30}, {cmyk[2], 0.45}});
    Print("before", skin);

    TGeneralColorConverterOptions general;  // kept by reference: keep it alive
    TRodadazErivoOptions options;           // copied by the converter
    options.SetColorStrategy("Coated to Uncoated");
    // The record's default type (-1) is no type a strategy has: ask for any.
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    try {
        TColorConverter_RodadazErivo converter(document, general, options);
        converter.Convert();  // throws std::exception after reporting the reason
    } catch (const std::exception&) {
        return 1;
    }
    Print("after", skin);
    return 0;
}
