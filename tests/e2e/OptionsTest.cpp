// Option values in the user's units: percentages, intent names and ICC
// numbers, sizes; every value the program refuses, with its message.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

bool ExampleDatabaseBuilt() {
    return Exists(ExampleCmsDb() + "/processes/default_cmyk.icc");
}

/// A CMYK image of every combination of 0, 17, ..., 255 in each channel.
TestTiff GridTiff() {
    TestTiff grid;
    grid.width = 256;
    grid.height = 256;
    grid.rowsPerStrip = 16;
    return grid;
}

std::vector<std::uint8_t> GridPixels() {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 65536; ++i) {
        for (int c = 0; c < 4; ++c) {
            pixels.push_back(static_cast<std::uint8_t>(((i >> (4 * c)) & 15) * 17));
        }
    }
    return pixels;
}

/// A PostScript file without its "% Created: <time>" line.
std::string WithoutTime(const std::string& text) {
    const std::size_t at = text.find("% Created:");
    return at == std::string::npos ? text : text.substr(0, at) + text.substr(text.find('\n', at));
}

int LargestSum(const std::vector<std::uint8_t>& pixels) {
    int largest = 0;
    for (std::size_t p = 0; p + 3 < pixels.size(); p += 4) {
        largest = std::max(largest, pixels[p] + pixels[p + 1] + pixels[p + 2] + pixels[p + 3]);
    }
    return largest;
}

TEST(Options, RefusedValuesSayWhatTheOptionTakes) {
    Scratch scratch;
    WriteText(scratch.Path("in.json"), "{}");
    const std::string in = scratch.Path("in.json");
    const std::string out = scratch.Path("out.json");
    const std::vector<std::string> reseparate = {"convert", "--profile", "--source",
                                                 "default_cmyk.icc", "--reseparate"};
    struct Case {
        std::vector<std::string> options;
        const char* message;
    };
    const Case cases[] = {
        {{"--total-ink", "-1"},
         "--total-ink expects a percentage from 0 to 400 (a plain decimal number such as 300 "
         "or 287.5), not '-1'"},
        {{"--total-ink", "401"},
         "--total-ink expects a percentage from 0 to 400 (a plain decimal number such as 300 "
         "or 287.5), not '401'"},
        {{"--total-ink", "3e2"},
         "--total-ink expects a percentage from 0 to 400 (a plain decimal number such as 300 "
         "or 287.5), not '3e2'"},
        {{"--total-ink=0x12c"},
         "--total-ink expects a percentage from 0 to 400 (a plain decimal number such as 300 "
         "or 287.5), not '0x12c'"},
        {{"--range", "-5"},
         "--range expects a percentage from 0 to 100 (a plain decimal number such as 90 or "
         "12.5), not '-5'"},
        {{"--max-k", "100.5"},
         "--max-k expects a percentage from 0 to 100 (a plain decimal number such as 90 or "
         "12.5), not '100.5'"},
        {{"--start-k", "10%"},
         "--start-k expects a percentage from 0 to 100 (a plain decimal number such as 90 or "
         "12.5), not '10%'"},
        {{"--intent", "4"},
         "--intent expects perceptual, relative, saturation or absolute (or their ICC numbers 0 "
         "to 3), not '4'"},
        {{"--purpose", "5"},
         "--purpose expects none, light, medium, ink-saving or heavy (or 0 to 4), not '5'"},
        {{"--threads", "0"}, "--threads expects a whole number from 1 to 256, not '0'"},
        {{"--threads", "0x4"}, "--threads expects a whole number from 1 to 256, not '0x4'"},
        {{"--jobs", "+2"}, "--jobs expects a whole number from 1 to 256, not '+2'"},
        {{"--compression", "lzma"}, "--compression expects none, lzw, deflate or zstd, not 'lzma'"},
        {{"--compression-level", "10"},
         "--compression-level expects a whole number from 1 to 9, not '10'"},
        {{"--compression", "lzw", "--compression-level", "6"},
         "--compression-level applies to deflate and zstd, not to lzw"},
        {{"--max-memory", "12X"},
         "--max-memory expects a size such as 512M or 4G (a whole number, then K, M, G or T), "
         "not '12X'"},
        {{"--max-memory", "-1G"},
         "--max-memory expects a size such as 512M or 4G (a whole number, then K, M, G or T), "
         "not '-1G'"},
        {{"--total-ink", "300", "--total-ink", "280"}, "--total-ink is given twice"},
        {{"--keep-registration", "--convert-registration"},
         "give one of --keep-registration and --convert-registration"},
        {{"-o", out, "-O", scratch.Folder()},
         "give -o OUTPUT for one input or -O FOLDER for any number of inputs, not both"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = reseparate;
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(in);
        if (std::find(c.options.begin(), c.options.end(), "-o") == c.options.end()) {
            args.push_back("-o");
            args.push_back(out);
        }
        const CliRun run = RunCli(args);
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_EQ(
            "ERROR: " + std::string(c.message) + ". Run 'rodadazerivo convert --help' for usage.\n",
            run.err);
    }

    struct Line {
        std::vector<std::string> args;
        std::string message;
    };
    const Line others[] = {
        {{"convert", "--strategy", "A", "--policy", "0x1", in, "-o", out},
         "ERROR: --policy expects a whole number from 0 to 2, not '0x1'. Run 'rodadazerivo "
         "convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--strategy-type", "+1", in, "-o", out},
         "ERROR: --strategy-type expects a whole number from -1 to 3, not '+1'. Run "
         "'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--total-ink", "300", in, "-o", out},
         "ERROR: --total-ink does not apply to --strategy. Run 'rodadazerivo convert --help' "
         "for usage.\n"},
        {{"convert", "--strategy", "A", in, scratch.Path("second.json"), "-o", out},
         "ERROR: only one input is converted at a time with -o (unexpected '" +
             scratch.Path("second.json") +
             "'); give -O FOLDER to convert several. Run 'rodadazerivo convert --help' for "
             "usage.\n"},
        {{"postscript", "--csa", DefaultCmykProfile(), "--intent", "absolute-ish", "-o", out},
         "ERROR: --intent expects perceptual, relative, saturation or absolute (or their ICC "
         "numbers 0 to 3), not 'absolute-ish'. Run 'rodadazerivo postscript --help' for "
         "usage.\n"},
        {{"list", "inks"},
         "ERROR: list expects strategies, processes, inkbooks or links, not 'inks'. Run "
         "'rodadazerivo list --help' for usage.\n"},
        {{"-q", "-v", "list", "strategies"},
         "ERROR: give one of --quiet and --verbose. Run 'rodadazerivo list --help' for "
         "usage.\n"},
        {{"--frobnicate", "list"},
         "ERROR: unknown option '--frobnicate'. Run 'rodadazerivo --help' for usage.\n"},
        {{"convert", "--cms", "", "--strategy", "A", in, "-o", out},
         "ERROR: --cms needs a folder. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "", in, "-o", out},
         "ERROR: --strategy needs the name of a Color Strategy. Run 'rodadazerivo convert "
         "--help' for usage.\n"},
        {{"convert", "--device-link", "", in, "-o", out},
         "ERROR: --device-link needs a file. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--report", "", in, "-o", out},
         "ERROR: --report needs a file. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--report=", in, "-o", out},
         "ERROR: --report needs a value. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "-O", "", in},
         "ERROR: -O needs a folder. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "-o", out},
         "ERROR: give the input file. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--profile", "--destination", "ps_cmyk.icc", in, "-o", out},
         "ERROR: --profile needs --source NAME or --use-document-profile. Run 'rodadazerivo "
         "convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", in, "-o"},
         "ERROR: --output needs a value. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--strategy", "B", in, "-o", out},
         "ERROR: --strategy is given twice. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"convert", "--strategy", "A", "--frob=3", in, "-o", out},
         "ERROR: unknown option '--frob'. Run 'rodadazerivo convert --help' for usage.\n"},
        {{"preview", in, "-o", scratch.Path("preview.jpg")},
         "ERROR: the preview is a PNG file (.png): '" + scratch.Path("preview.jpg") +
             "'. Run 'rodadazerivo preview --help' for usage.\n"},
        {{"postscript", "--csa", DefaultCmykProfile(), PsCmykProfile(), "-o", out},
         "ERROR: postscript takes one ICC file (unexpected '" + PsCmykProfile() +
             "'). Run 'rodadazerivo postscript --help' for usage.\n"},
        {{"postscript", "--csa", DefaultCmykProfile()},
         "ERROR: give the ICC file and the output with -o OUTPUT. Run 'rodadazerivo "
         "postscript --help' for usage.\n"},
        {{"icc-info", DefaultCmykProfile(), PsCmykProfile()},
         "ERROR: icc-info takes one ICC file. Run 'rodadazerivo icc-info --help' for usage.\n"},
        {{"list"},
         "ERROR: list takes one of strategies, processes, inkbooks or links. Run 'rodadazerivo "
         "list --help' for usage.\n"},
    };
    for (const Line& c : others) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_EQ(c.message, run.err);
    }
    EXPECT_EQ((std::vector<std::string>{"in.json"}), scratch.Files());
}

TEST(Options, TotalInkInPercentCapsEveryPixel) {
    if (!ExampleDatabaseBuilt()) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    Scratch scratch;
    CopyFolder(ExampleCmsDb(), scratch.Path("cmsdb"));
    const TestTiff grid = GridTiff();
    WriteTiff(scratch.Path("grid.tif"), grid, GridPixels());
    const auto reseparate = [&](const std::string& output, const std::vector<std::string>& limit) {
        std::vector<std::string> args = {"convert",     "--cms",    scratch.Path("cmsdb"),
                                         "--profile",   "--source", "default_cmyk.icc",
                                         "--reseparate"};
        args.insert(args.end(), limit.begin(), limit.end());
        args.insert(args.end(), {scratch.Path("grid.tif"), "-o", scratch.Path(output)});
        return RunCli(args);
    };
    CliRun run = reseparate("300.tif", {"--total-ink", "300"});
    ASSERT_EQ(0, run.status) << run.err;
    // 300% is 765 in 8-bit samples, and no pixel may end above it after
    // rounding.
    EXPECT_LE(LargestSum(ReadTiff(scratch.Path("300.tif")).pixels), 765);

    // Without a limit the darkest colours keep far more than 300%.
    run = reseparate("free.tif", {});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_GT(LargestSum(ReadTiff(scratch.Path("free.tif")).pixels), 900);
}

TEST(Options, IntentNumbersAndNamesMeanTheSameIntent) {
    if (!ExampleDatabaseBuilt()) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    Scratch scratch;
    CopyFolder(ExampleCmsDb(), scratch.Path("cmsdb"));
    TestTiff tiff;
    tiff.width = 64;
    tiff.height = 64;
    const std::vector<std::uint8_t> pixels = TestPixels(tiff);
    WriteTiff(scratch.Path("in.tif"), tiff, pixels);
    const auto convert = [&](const std::string& intent, const std::string& output) {
        const CliRun run =
            RunCli({"convert", "--cms", scratch.Path("cmsdb"), "--profile", "--source",
                    "default_cmyk.icc", "--destination", "ps_cmyk.icc", "--intent", intent,
                    scratch.Path("in.tif"), "-o", scratch.Path(output)});
        EXPECT_EQ(0, run.status) << run.err;
        return ReadTiff(scratch.Path(output)).pixels;
    };
    const std::vector<std::uint8_t> relative = convert("relative", "relative.tif");
    EXPECT_EQ(relative, convert("1", "one.tif"));
    EXPECT_EQ(relative, convert("RELATIVE", "upper.tif"));
    const std::vector<std::uint8_t> perceptual = convert("0", "zero.tif");
    EXPECT_EQ(perceptual, convert("perceptual", "perceptual.tif"));

    // ICC numbers as LittleCMS takes them, with black point compensation.
    for (const auto& [intent, result] : {std::make_pair(1, &relative), {0, &perceptual}}) {
        const std::vector<std::uint8_t> expected =
            ConvertCmyk(DefaultCmykProfile(), PsCmykProfile(), intent, true, pixels);
        ASSERT_EQ(expected.size(), result->size());
        int worst = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            worst = std::max(worst, std::abs(expected[i] - (*result)[i]));
        }
        EXPECT_LE(worst, 3) << "intent " << intent;
    }
}

TEST(Options, EngineCommandsNameIntentsAndProfilesWithoutNames) {
    CliRun run = RunCli({"icc-info", PsCmykProfile()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Rendering intent: perceptual\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Colour space: CMYK, 4 channels: none\n")) << run.out;

    Scratch scratch;
    run = RunCli({"postscript", "--crd", DefaultCmykProfile(), "--intent", "relative", "-o",
                  scratch.Path("named.ps")});
    ASSERT_EQ(0, run.status) << run.err;
    run = RunCli({"postscript", "--crd", DefaultCmykProfile(), "--intent", "1", "-o",
                  scratch.Path("number.ps")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(WithoutTime(ReadText(scratch.Path("named.ps"))),
              WithoutTime(ReadText(scratch.Path("number.ps"))));
    run = RunCli({"postscript", "--crd", DefaultCmykProfile(), "--intent", "0", "-o",
                  scratch.Path("perceptual.ps")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(ReadText(scratch.Path("named.ps")), ReadText(scratch.Path("perceptual.ps")));

    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), scratch.Path("link.icc"));
    run = RunCli({"icc-info", "--intent", "relative", scratch.Path("link.icc")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.out.find("Link: can be built (8 bits per sample, relative colorimetric)\n"))
        << run.out;
}

TEST(Options, QuietSaysOnlyErrorsAndVerboseNamesTheDatabase) {
    if (!ExampleDatabaseBuilt()) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    Scratch scratch;
    TestTiff tiff;
    WriteTiff(scratch.Path("in.tif"), tiff, TestPixels(tiff));
    CliRun run = RunCli({"convert", "-q", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated",
                         scratch.Path("in.tif"), "-o", scratch.Path("quiet.tif")});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.err);
    run = RunCli({"-v", "convert", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated",
                  scratch.Path("in.tif"), "-o", scratch.Path("verbose.tif")});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.err.find("INFO: Using the CMS database " + ExampleCmsDb() + "\n")) << run.err;
}

}  // namespace
}  // namespace rdz::e2e
