// The --help texts. The manual page is made from them (help2man), so every
// command's text names its options with their units and defaults.
#include "tools/Commands.h"

namespace rdz::tools {
namespace {

const char* const kMainHelp = R"(Usage: rodadazerivo COMMAND [OPTIONS]

Converts the colours of prepress documents, CMYK TIFF images and PDF files.

Commands:
  convert      convert a document (.json), a TIFF image or a PDF file with one
               method, or many inputs into a folder (-O FOLDER)
  preview      draw the paints and images of a document, before and after a
               conversion
  list         list the strategies, processes, ink books or stored device
               links of a CMS database
  icc-info     show what the colour engine reads from an ICC file
  postscript   write a PostScript colour-space array or colour-rendering
               dictionary

Options of every command:
  -q, --quiet    errors only
  -v, --verbose  more detail (the database used, where links are kept)
  -h, --help     the options of the command
  --version      the version and the conversion methods built in

The CMS database (ink books, processes, Color Strategies, stored device
links) is the folder given with --cms, else $RODADAZERIVO_CMS, else the
default database installed with the program (share/rodadazerivo/cmsdb).
Device links computed with the default database, or with a folder the
program cannot write, are kept in $XDG_CACHE_HOME/rodadazerivo/links (else
~/.cache/rodadazerivo/links) and found there first next time.

Rendering intents are given by name (perceptual, relative, saturation,
absolute) or by their ICC numbers 0 to 3, as LittleCMS's tools take them.

Operator messages go to standard error, one per line with their level.
Exit status: 0 success; 1 the work failed or its output cannot be written;
2 bad usage or unreadable input.
)";

const char* const kConvertHelp =
    R"(Usage: rodadazerivo convert [--cms DIR] METHOD [OPTIONS] INPUT -o OUTPUT
       rodadazerivo convert [--cms DIR] METHOD [OPTIONS] -O FOLDER INPUT...

Converts the colours of INPUT, a document (.json), a CMYK TIFF image (.tif,
.tiff) or a PDF file (.pdf, converted in place: paints, shadings and 8-bit
images in CMYK, grey, Separation and DeviceN; RGB and Lab are left as they
are), and writes the result to OUTPUT, a file of the same kind. The input is
never changed; the output appears whole or not at all. A summary line says
what was converted and how the process-ink coverage changed.

  --cms DIR                 the CMS database folder; default: $RODADAZERIVO_CMS,
                            else the default database installed with the program
  -o, --output FILE         the output file
  -O, --output-folder DIR   convert every INPUT into DIR (made when missing),
                            each under its own file name
    --jobs N                conversions at a time (default: one per core); the
                            first input is converted alone, so that the device
                            links it computes are stored once and shared
  --report FILE             write a JSON report: every ink's decision and its
                            reason, the paints and images converted, kept and
                            failed, the process-ink coverage (mean and maximum,
                            percent) before and after, the ink saved, and the
                            device links computed and reused

METHOD, one of:
  --strategy NAME           apply the Color Strategy NAME of the CMS database
    --exception INK         keep the ink INK unconverted (repeatable)
    --policy 0|1|2          an ink the strategy does not define: 0 keep it,
                            1 decide by its kind (default), 2 fail
    --strategy-type N       the type the strategy must have: 0 any (default),
                            1 profile transform, 2 Orvex, 3 Digital Printing.
                            Unless it is 2, technical and varnish inks that the
                            strategy does not keep are converted into process
                            inks (they will print; a WARNING says so)
  --profile                 convert the process colours from one profile to
                            another, re-separate them, or both
    --source NAME|FILE      source: a process of the CMS database, or an ICC
                            output profile (used as a process for this run)
    --use-document-profile  take the source from the document's colour space
                            when it has one
    --destination NAME|FILE destination profile: converts the colour space
    --reseparate            re-separate with ink saving (on the destination
                            when converting, else on the source)
    --intent INTENT         perceptual, relative (default), saturation or
                            absolute, or the ICC numbers 0 to 3
    --no-bpc                no black point compensation (on by default)
    --clean LIST            keep colours pure, among cyan, magenta, yellow,
                            red, green, blue (separated by commas)
    --total-ink PERCENT     ink-saving limit of the sum of all inks, 0 to 400
                            (300 caps every pixel at 300%); default: no limit
    --max-k PERCENT         most black, 0 to 100; default: no limit
    --start-k PERCENT       grey level where black starts, 0 to 100; default 0
    --range PERCENT         how far from grey black replaces colour, 0 to 100;
                            default: every colour
    --purpose P             ink-saving purpose: none, light, medium, ink-saving
                            (default) or heavy, or 0 to 4
  --device-link FILE        apply a CMYK-to-CMYK ICC device link (a path or a
                            file: URL) to the process colours; the file is
                            checked (whole, a device link, CMYK to CMYK,
                            readable colour tables) before the input is read
    --intent INTENT         rendering intent for the link (default relative)

Percentages are plain decimal numbers; a value out of range, negative or
written otherwise (3e2, 0x12c) is refused.

Defaults that differ from LittleCMS's tificc: the intent is relative
colorimetric (tificc: perceptual) and black point compensation is on
(tificc: off); a device link is applied as tificc -l applies it.

GENERAL OPTIONS:
  --no-linework             leave the paints unconverted
  --no-images               leave the images unconverted
  --no-flatten              do not flatten: paints inside opacity masks keep
                            their colours unless --convert-mask-paints
  --convert-mask-paints     convert paints inside opacity masks
  --convert-registration    convert the registration colour like any other;
                            by default it is kept, so that registration marks
                            stay on every plate (--keep-registration)
  --resolve                 resolve the document first (forms, external
                            references, images, transparency)
  --threads N               threads converting the rows of an image (default:
                            every core, shared among --jobs)
  --compression C           compression of written TIFF files: none, lzw,
                            deflate or zstd (default: as the input)
  --compression-level N     1 (fastest) to 9 (smallest files) for deflate and
                            zstd (default: 1 for deflate, 3 for zstd)
  --max-memory SIZE         most memory for image data, such as 512M or 4G
                            (default: half of the physical memory)
  --allow-outside-paths     let a document name pixel files outside its own
                            folder

Exit status: 0 success; 1 the conversion failed, could not be set up, or its
output cannot be written; 2 bad usage or unreadable input. With -O, the worst
status of the inputs.
)";

const char* const kPreviewHelp =
    R"(Usage: rodadazerivo preview [--cms DIR] [METHOD [OPTIONS]] INPUT -o PNG

Draws the paints (one swatch each, vignettes as gradients) and the images of
INPUT, a document (.json), a TIFF image or a PDF file, into a PNG file. With a METHOD and
its options (as for 'convert') the picture shows the document before (left)
and after (right) that conversion; nothing else is written. Ink colours come
from the CMS database's ink books where it knows the ink, else from the
document.

Exit status: 0 success; 1 the conversion or the writing failed; 2 bad usage
or unreadable input.
)";

const char* const kListHelp =
    R"(Usage: rodadazerivo list strategies|processes|inkbooks|links [--cms DIR] [--json]

Lists what the CMS database holds, one entry per line: its name, a tab, and
what it is (a strategy's type, source and destination; a process's colour
space and inks; an ink book's display name and size; a stored device link's
kind, processes and intent, and the folder it is kept in).

  --cms DIR   the CMS database folder (default as for 'convert')
  --json      a JSON array of objects instead

Exit status: 0 success; 2 bad usage or a database folder that does not exist.
)";

const char* const kIccInfoHelp = R"(Usage: rodadazerivo icc-info [--intent INTENT] FILE

Shows what the colour engine (LittleCMS) reads from an ICC profile or ICC
device link: colour spaces, channel counts, colorant names ("none" when the
profile names none) and rendering intent, and for a device link whether a
link can be built from it (with INTENT, a name or ICC number 0 to 3; default:
the profile's own).

Exit status: 0 success; 2 the file cannot be read or is not a profile.
)";

const char* const kPostScriptHelp =
    R"(Usage: rodadazerivo postscript (--csa|--crd) FILE [--intent INTENT] [--bpc] -o OUTPUT

Writes the PostScript colour-space array (--csa) or colour-rendering
dictionary (--crd) that the colour engine makes from the ICC profile FILE.

  --intent INTENT   perceptual, relative, saturation or absolute, or the ICC
                    numbers 0 to 3; default: the intent in the profile's
                    header (perceptual when it names none of them)
  --bpc             black point compensation (colour-rendering dictionaries)

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
    if (command == "list") {
        return kListHelp;
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
