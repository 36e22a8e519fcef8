// The --help texts.
#include "tools/Commands.h"

namespace rdz::tools {
namespace {

const char* const kMainHelp = R"(Usage: rodadazerivo COMMAND [OPTIONS]

Converts the colours of prepress documents and CMYK TIFF images.

Commands:
  convert      convert a document (.json) or a TIFF image with one method
  preview      draw the paints and images of a document, before and after a conversion
  icc-info     show what the colour engine reads from an ICC file
  postscript   write a PostScript colour-space array or colour-rendering dictionary

Run 'rodadazerivo COMMAND --help' for the options of a command,
'rodadazerivo --version' for the version and the conversion methods built in.

Operator messages go to standard error, one per line with their level.
Exit status: 0 success; 1 the work failed or its output cannot be written;
2 bad usage or unreadable input.
)";

const char* const kConvertHelp =
    R"(Usage: rodadazerivo convert [--cms DIR] METHOD [GENERAL OPTIONS] INPUT -o OUTPUT

Converts the colours of INPUT, a document (.json) or a CMYK TIFF image (.tif,
.tiff), and writes the result to OUTPUT, a file of the same kind. The input is
never changed; the output appears whole or not at all.

  --cms DIR                 the CMS database folder (ink books, profiles,
                            Color Strategies); default: $RODADAZERIVO_CMS, else
                            an empty database
  -o, --output FILE         the output file

METHOD, one of:
  --strategy NAME           apply the Color Strategy NAME of the CMS database
    --exception INK         keep this ink unconverted (repeatable)
    --policy 0|1|2          an ink the strategy does not define: 0 keep it,
                            1 decide by its kind (default), 2 fail
    --strategy-type N       the type the strategy must have: 0 any (default),
                            1 profile transform, 2 Orvex, 3 Digital Printing
  --profile                 convert the process colours from one profile to
                            another, re-separate them, or both
    --source NAME           source profile (a process of the CMS database)
    --use-document-profile  take the source from the document's colour space
                            when it has one
    --destination NAME      destination profile: converts the colour space
    --reseparate            re-separate with ink saving (on the destination
                            when converting, else on the source)
    --intent 2|3|4|5        2 perceptual, 3 relative colorimetric (default),
                            4 saturation, 5 absolute colorimetric
    --no-bpc                no black point compensation
    --clean LIST            keep colours pure, among cyan, magenta, yellow,
                            red, green, blue (separated by commas)
    --total-ink X           ink-saving settings, as the option record takes
    --max-k X               them (defaults 400, 100, 0 and 50)
    --start-k X
    --range X
    --purpose N             ink-saving purpose 0 to 4 (default 3)
  --device-link FILE        apply a CMYK-to-CMYK ICC device link (a path or a
                            file: URL) to the process colours; the file is
                            checked (whole, a device link, CMYK to CMYK,
                            readable colour tables) before the input is read
    --intent 2|3|4|5        rendering intent for the link (default 3)

GENERAL OPTIONS:
  --no-linework             leave the paints unconverted
  --no-images               leave the images unconverted
  --no-flatten              do not flatten: paints inside opacity masks keep
                            their colours unless --convert-mask-paints
  --convert-mask-paints     convert paints inside opacity masks
  --keep-registration       keep the registration colour
  --resolve                 resolve the document first (forms, external
                            references, images, transparency)

Exit status: 0 success; 1 the conversion failed, could not be set up, or its
output cannot be written; 2 bad usage or unreadable input.
)";

const char* const kPreviewHelp =
    R"(Usage: rodadazerivo preview [--cms DIR] [METHOD [OPTIONS]] INPUT -o PNG

Draws the paints (one swatch each, vignettes as gradients) and the images of
INPUT, a document (.json) or a TIFF image, into a PNG file. With a METHOD and
its options (as for 'convert') the picture shows the document before (left)
and after (right) that conversion; nothing else is written. Ink colours come
from the CMS database's ink books where it knows the ink, else from the
document.

Exit status: 0 success; 1 the conversion or the writing failed; 2 bad usage
or unreadable input.
)";

const char* const kIccInfoHelp = R"(Usage: rodadazerivo icc-info FILE

Shows what the colour engine (LittleCMS) reads from an ICC profile or ICC
device link: colour spaces, channel counts, colorant names and rendering
intent, and for a device link whether a link can be built from it.

Exit status: 0 success; 2 the file cannot be read or is not a profile.
)";

const char* const kPostScriptHelp =
    R"(Usage: rodadazerivo postscript (--csa|--crd) FILE [--intent N] [--bpc] -o OUTPUT

Writes the PostScript colour-space array (--csa) or colour-rendering
dictionary (--crd) that the colour engine makes from the ICC profile FILE.

  --intent N   0 perceptual, 1 relative colorimetric, 2 saturation,
               3 absolute colorimetric, 4 the intent in the profile's header
               (the default; perceptual when the header names none of 0 to 3)
  --bpc        black point compensation (colour-rendering dictionaries)

Exit status: 0 success; 1 the engine made nothing or the output cannot be
written; 2 bad usage or a file that is not a profile.
)";

}  // namespace

const char* HelpText(const std::string& command) {
    if (command == "convert") {
        return kConvertHelp;
    }
    if (command == "preview") {
        return kPreviewHelp;
    }
    if (command == "icc-info") {
        return kIccInfoHelp;
    }
    if (command == "postscript") {
        return kPostScriptHelp;
    }
    return kMainHelp;
}

}  // namespace rdz::tools
