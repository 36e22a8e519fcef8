// Damaged inputs through the program, as a user runs it: every case ends
// with exit status 1 or 2 and one error line naming the damaged file, without
// a crash or a sanitizer report, and leaves no output file behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/reliability/ReliabilitySupport.h"

namespace rdz::reliability {
namespace {

struct DamagedCase {
    const char* label;
    /// Writes the damaged input into the input folder; returns the path of
    /// the file the message must name.
    std::function<std::string(const std::string& in)> make;
    /// The method arguments and the input path (given the damaged file).
    std::function<std::vector<std::string>(const std::string& in, const std::string& damaged)> args;
};

std::string Bytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string Sample() {
    return ReadFile(std::string(RDZ_EXAMPLES_DIR) + "/sample/sample.json");
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos)
        throw std::runtime_error("sample lacks " + from);
    return text.replace(at, from.size(), to);
}

std::string Corpus(const std::string& file) {
    return ReadFile(std::string(RDZ_FUZZ_CORPUS_DIR) + "/" + file);
}

// A document file in the input folder holding `json`, beside the sample's images.
std::function<std::string(const std::string&)> Document(std::function<std::string()> json) {
    return [json](const std::string& in) {
        CopySample(in);
        WriteFile(in + "/sample.json", json());
        return in + "/sample.json";
    };
}

// The sample document with one of its TIFF files replaced.
std::function<std::string(const std::string&)> Image(std::function<std::string()> tiff) {
    return [tiff](const std::string& in) {
        CopySample(in);
        WriteFile(in + "/sample.photo.tif", tiff());
        return in + "/sample.photo.tif";
    };
}

// A TIFF file converted on its own.
std::function<std::string(const std::string&)> Tiff(std::function<std::string()> tiff) {
    return [tiff](const std::string& in) {
        WriteFile(in + "/image.tif", tiff());
        return in + "/image.tif";
    };
}

// A device link applied to the sample.
std::function<std::string(const std::string&)> Link(std::function<std::string()> icc,
                                                    const std::string& name = "link.icc") {
    return [icc, name](const std::string& in) {
        CopySample(in);
        WriteFile(in + "/" + name, icc());
        return in + "/" + name;
    };
}

std::vector<std::string> Strategy(const std::string& in, const std::string& damaged) {
    (void)damaged;
    return {"--strategy", "ISO Coated", in + "/sample.json"};
}

std::vector<std::string> StrategyOn(const std::string&, const std::string& damaged) {
    return {"--strategy", "ISO Coated", damaged};
}

std::vector<std::string> DeviceLink(const std::string& in, const std::string& damaged) {
    return {"--device-link", damaged, in + "/sample.json"};
}

std::string Photo() {
    return ReadFile(std::string(RDZ_EXAMPLES_DIR) + "/sample/sample.photo.tif");
}

std::string SmallLink() {
    return Corpus("device_link/link_cmyk_grid3_v4.icc");
}

// The small link with the type signature of its colour table (A2B0)
// overwritten: the header and tag table are whole, the table is not.
std::string LinkWithDamagedTable() {
    std::string bytes = SmallLink();
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) << 24 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3)));
    };
    for (std::uint32_t i = 0; i < word(128); ++i) {
        const std::size_t entry = 132 + 12 * std::size_t{i};
        if (bytes.compare(entry, 4, "A2B0") == 0) {
            bytes.replace(word(entry + 4), 4, "zzzz");
            return bytes;
        }
    }
    throw std::runtime_error("the small link has no A2B0 tag");
}

const std::vector<DamagedCase>& Cases() {
    static const std::vector<DamagedCase> cases = {
        {"empty document", Document([] { return std::string(); }), Strategy},
        {"document cut at 1 byte", Document([] { return Sample().substr(0, 1); }), Strategy},
        {"document cut at 700 bytes", Document([] { return Sample().substr(0, 700); }), Strategy},
        {"document cut before its end",
         Document([] { return Sample().substr(0, Sample().size() - 3); }), Strategy},
        {"document of random bytes", Document([] { return Bytes(3000, 1); }), Strategy},
        {"number too large for a double",
         Document([] { return Replace(Sample(), "\"version\": 1", "\"version\": 1e999"); }),
         Strategy},
        {"ink colour of the wrong type", Document([] {
             return Replace(Sample(), "\"rgb\": [0.0, 0.63, 0.89]", "\"rgb\": \"cyan\"");
         }),
         Strategy},
        {"paint naming a missing ink",
         Document([] { return Replace(Sample(), "\"ink\": \"cyan\"", "\"ink\": \"cyann\""); }),
         Strategy},
        {"image of negative width", Document([] {
             return Replace(Sample(), "\"width\": 96, \"height\": 64",
                            "\"width\": -96, \"height\": 64");
         }),
         Strategy},
        {"image of an absurd size", Document([] {
             return Replace(Sample(), "\"width\": 96, \"height\": 64",
                            "\"width\": 2000000000, \"height\": 2000000000");
         }),
         Strategy},
        {"image naming a missing pixel file",
         [](const std::string& in) {
             Document([] { return Replace(Sample(), "\"sample.photo.tif\"", "\"absent.tif\""); })(
                 in);
             return in + "/absent.tif";
         },
         Strategy},
        {"ink name longer than 255 characters", Document([] {
             return Replace(Sample(), "\"SPECTRA Warm Red C\"",
                            "\"" + std::string(300, 'R') + "\"");
         }),
         Strategy},
        {"ink book name longer than 255 characters", Document([] {
             return Replace(Sample(), "\"book\": \"SPECTRA Solid Coated\"",
                            "\"book\": \"" + std::string(256, 'B') + "\"");
         }),
         Strategy},
        {"pixel data shorter than the image", Document([] {
             return Replace(Sample(), "\"width\": 96, \"height\": 64",
                            "\"width\": 96, \"height\": 640");
         }),
         Strategy},
        {"pixel file cut in its data", Image([] { return Photo().substr(0, 2000); }), Strategy},
        {"field given twice in an ink", Document([] {
             return Replace(Sample(), "\"id\": \"cyan\", ", "\"id\": \"cyan\", \"id\": \"c2\", ");
         }),
         Strategy},
        {"field given twice at the top level", Document([] {
             return Replace(Sample(), "\"version\": 1", "\"version\": 1, \"version\": 1");
         }),
         Strategy},
        {"NUL character inside an ink name", Document([] {
             return Replace(Sample(), "\"name\": \"Cyan\"", "\"name\": \"Cy\\u0000an\"");
         }),
         Strategy},
        {"pixel file named by an absolute path",
         Document([] { return Replace(Sample(), "\"sample.photo.tif\"", "\"/etc/hostname\""); }),
         Strategy},
        {"pixel file outside the document's folder", Document([] {
             return Replace(Sample(), "\"sample.photo.tif\"", "\"../../sample.photo.tif\"");
         }),
         Strategy},
        {"pixel file that is a folder",
         [](const std::string& in) {
             Document([] { return Replace(Sample(), "\"sample.photo.tif\"", "\".\""); })(in);
             return in + "/sample.json";
         },
         Strategy},
        {"pixel file of random bytes", Image([] { return Bytes(4000, 2); }), Strategy},
        {"empty TIFF image", Tiff([] { return std::string(); }), StrategyOn},
        {"TIFF image cut after its header", Tiff([] { return Photo().substr(0, 8); }), StrategyOn},
        {"TIFF image cut in its data", Tiff([] { return Photo().substr(0, 2000); }), StrategyOn},
        {"TIFF image of random bytes", Tiff([] { return "II*\0" + Bytes(500, 3); }), StrategyOn},
        {"TIFF image whose tiles are far larger than the image", Tiff([] {
             return ReadFile(std::string(RDZ_FUZZ_CORPUS_DIR) +
                             "/../regressions/tiff/tile_larger_than_image.tif");
         }),
         StrategyOn},
        {"TIFF image declaring 3.6 GB of data in 242 bytes",
         Tiff([] { return Corpus("tiff/declares_3_6_gb_holds_242_bytes.tif"); }), StrategyOn},
        {"TIFF ink name holding a newline",
         Tiff([] { return Corpus("tiff/ink_name_with_newline.tif"); }), StrategyOn},
        {"TIFF extra sample neither alpha nor a named ink",
         Tiff([] { return Corpus("tiff/extra_sample_neither_alpha_nor_named.tif"); }), StrategyOn},
        {"TIFF whose second page is RGB",
         Tiff([] { return Corpus("tiff/second_page_rgb.tif"); }), StrategyOn},
        {"TIFF whose second page's data lies past its end",
         Tiff([] { return Corpus("tiff/second_page_cut_short.tif"); }), StrategyOn},
        {"TIFF strip that cannot be decoded halfway through the image",
         Tiff([] { return Corpus("tiff/lzw_strip_garbled_halfway.tif"); }), StrategyOn},
        {"empty device link", Link([] { return std::string(); }), DeviceLink},
        {"device link cut at 300 bytes", Link([] { return SmallLink().substr(0, 300); }),
         DeviceLink},
        {"device link cut before its end",
         Link([] { return SmallLink().substr(0, SmallLink().size() - 40); }), DeviceLink},
        {"device link of random bytes", Link([] { return Bytes(2000, 4); }), DeviceLink},
        {"device link with an absurd tag count",
         Link([] { return Corpus("device_link/absurd_tag_count.icc"); }), DeviceLink},
        {"device link from RGB to CMYK",
         Link([] { return Corpus("device_link/link_cmyk_to_rgb.icc"); }), DeviceLink},
        {"device link whose colour table is damaged", Link(LinkWithDamagedTable), DeviceLink},
        {"device link of another profile class",
         Link([] { return ReadFile(std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc"); }),
         DeviceLink},
        {"device link at a path that is not UTF-8", Link(SmallLink, "link-\xff\xfe.icc"),
         DeviceLink},
    };
    return cases;
}

bool HasSanitizerReport(const std::string& err) {
    for (const char* mark : {"runtime error:", "AddressSanitizer", "LeakSanitizer",
                             "terminate called", "Segmentation fault"}) {
        if (err.find(mark) != std::string::npos)
            return true;
    }
    return false;
}

int CountLines(const std::string& text, const std::string& prefix) {
    int count = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, prefix.size(), prefix) == 0)
            ++count;
        const std::size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return count;
}

/// True when an "ERROR: " line mentions `name`.
bool ErrorNames(const std::string& err, const std::string& name) {
    for (std::size_t at = err.find("ERROR: "); at != std::string::npos;
         at = err.find("ERROR: ", at + 1)) {
        const std::size_t end = err.find('\n', at);
        if (err.substr(at, end == std::string::npos ? end : end - at).find(name) !=
            std::string::npos)
            return true;
    }
    return false;
}

std::string Basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

TEST(DamagedInput, EveryCaseFailsClearlyAndWritesNothing) {
    Scratch db;
    MakeDatabase(db.Path("cmsdb"));
    for (const DamagedCase& c : Cases()) {
        SCOPED_TRACE(c.label);
        Scratch scratch;
        const std::string in = scratch.Path("in");
        const std::string damaged = c.make(in);
        const std::vector<std::string> before = FilesUnder(in);
        const std::string damagedBytes = ReadFile(damaged);

        std::vector<std::string> args = {"convert", "--cms", db.Path("cmsdb")};
        for (const std::string& arg : c.args(in, damaged))
            args.push_back(arg);
        const bool tiffOut = damaged.size() > 4 &&
                             damaged.compare(damaged.size() - 4, 4, ".tif") == 0 &&
                             Basename(damaged) == "image.tif";
        const std::string out = scratch.Path(tiffOut ? "out/out.tif" : "out/out.json");
        WriteFile(scratch.Path("out/.keep"), "");
        args.push_back("-o");
        args.push_back(out);

        const CliRun run = RunCli(args);
        EXPECT_LT(run.status, 128) << "killed by a signal\n" << run.err;
        EXPECT_FALSE(HasSanitizerReport(run.err)) << run.err;
        EXPECT_TRUE(run.status == 1 || run.status == 2) << "status " << run.status << "\n"
                                                        << run.err;
        // The reader's or converter's message, and at most the program's
        // line saying that nothing was written.
        const int errors = CountLines(run.err, "ERROR: ");
        EXPECT_TRUE(errors == 1 || errors == 2) << run.err;
        EXPECT_TRUE(ErrorNames(run.err, Basename(damaged))) << run.err;
        EXPECT_EQ(std::vector<std::string>{".keep"}, FilesUnder(scratch.Path("out")));
        EXPECT_EQ(before, FilesUnder(in));
        EXPECT_EQ(damagedBytes, ReadFile(damaged)) << "the input was changed";
    }
}

TEST(DamagedInput, StrategyNamesLongerThan255CharactersAreRefused) {
    Scratch db;
    MakeDatabase(db.Path("cmsdb"));
    Scratch scratch;
    const std::string input = CopySample(scratch.Path("in"));
    const CliRun run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy",
                               std::string(300, 'S'), input, "-o", scratch.Path("out.json")});
    EXPECT_TRUE(run.status == 1 || run.status == 2) << run.err;
    EXPECT_FALSE(HasSanitizerReport(run.err)) << run.err;
    EXPECT_FALSE(Exists(scratch.Path("out.json")));
}

TEST(DamagedInput, DamagedDatabaseFilesAreNamedAndTheConversionDoesNotUseThem) {
    Scratch db;
    MakeDatabase(db.Path("cmsdb"));
    // A strategy with values out of range: the database names the file and
    // the field, and the strategy is unknown to the conversion.
    WriteFile(db.Path("cmsdb/strategies/Broken.json"),
              R"({"type": 3, "source": "ps_cmyk.icc", "renderingIntent": 9,
                  "advancedItems": [{"book": "Process", "ink": "Cyan", "option": 4, "values": [-5]}]})");
    Scratch scratch;
    const std::string input = CopySample(scratch.Path("in"));
    const CliRun run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy", "Broken", input,
                               "-o", scratch.Path("out.json")});
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("strategies/Broken.json: renderingIntent"))
        << run.err;
    EXPECT_FALSE(HasSanitizerReport(run.err)) << run.err;
    EXPECT_FALSE(Exists(scratch.Path("out.json")));
}

TEST(DamagedInput, StrategyFilesThatCannotBeTrustedAreNamedAndNotUsed) {
    struct StrategyCase {
        std::string name;   // the strategy, as --strategy names it
        std::string file;   // its file in strategies/
        std::string text;   // what the file holds
        std::string fault;  // the warning's text after the file name
    };
    const std::string good = R"("type": 1, "source": "default_cmyk.icc")";
    const StrategyCase cases[] = {
        {"Twice", "Twice.json", "{" + good + R"(, "renderingIntent": 3, "renderingIntent": 2})",
         "renderingIntent: the field is given twice in one object"},
        {"Nested", "Nested.json",
         "{" + good + R"(, "advancedItems": [{"book": "Process", "ink": "Cyan", "ink": "Black",
                          "option": 1}]})",
         "advancedItems[0].ink: the field is given twice in one object"},
        {"Nul", "Nul.json", "{" + good + R"(, "destination": "ps_cmyk.icc\u0000.icc"})",
         "destination: a text must not hold a NUL character"},
        {"Bad\nName", "Bad\nName.json", "{" + good + "}",
         "the file name holds control characters; the file is not read"},
        {"Bad\x1b[2JName", "Bad\x1b[2JName.json", "{" + good + "}",
         "the file name holds control characters; the file is not read"},
    };
    for (const StrategyCase& c : cases) {
        SCOPED_TRACE(c.file);
        Scratch db;
        MakeDatabase(db.Path("cmsdb"));
        WriteFile(db.Path("cmsdb/strategies/" + c.file), c.text);
        Scratch scratch;
        const std::string input = CopySample(scratch.Path("in"));
        const CliRun run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy", c.name,
                                   input, "-o", scratch.Path("out.json")});
        EXPECT_EQ(1, run.status) << run.err;
        EXPECT_FALSE(HasSanitizerReport(run.err)) << run.err;
        std::string escaped = c.file;
        for (const auto& control : {std::make_pair(std::string("\n"), std::string("\\n")),
                                    std::make_pair(std::string("\x1b"), std::string("\\x1B"))}) {
            for (std::size_t at = escaped.find(control.first); at != std::string::npos;
                 at = escaped.find(control.first, at + control.second.size())) {
                escaped.replace(at, control.first.size(), control.second);
            }
        }
        EXPECT_NE(std::string::npos,
                  run.err.find("WARNING: CMS database " + db.Path("cmsdb") + ": strategies/" +
                               escaped + ": " + c.fault + "\n"))
            << run.err;
        // The converter's and the program's: the strategy is unknown, nothing was written.
        EXPECT_NE(std::string::npos, run.err.find("ERROR: Color Strategy ")) << run.err;
        EXPECT_EQ(2, CountLines(run.err, "ERROR: ")) << run.err;
        EXPECT_EQ(std::string::npos, run.err.find_first_of("\x1b")) << run.err;
        EXPECT_FALSE(Exists(scratch.Path("out.json")));
    }
}

TEST(DamagedInput, DeviceLinksAreCheckedBeforeAnythingIsConverted) {
    Scratch db;
    MakeDatabase(db.Path("cmsdb"));
    Scratch scratch;
    const std::string input = CopySample(scratch.Path("in"));
    struct LinkCase {
        std::string bytes;
        std::string fault;
    };
    const std::string link = SmallLink();
    const LinkCase cases[] = {
        {link.substr(0, 1000), ": the file is cut short: its header declares " +
                                   std::to_string(link.size()) + " bytes, the file holds 1000"},
        {Corpus("device_link/link_cmyk_to_rgb.icc"),
         ": a device link from CMYK to RGB; the device-link conversion needs one from CMYK to "
         "CMYK"},
        {ReadFile(std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc"),
         ": an ICC output device profile, not a device link"},
        {Corpus("device_link/absurd_tag_count.icc"), ": the ICC file is damaged (LittleCMS: "},
        {LinkWithDamagedTable(), ": the device link's colour tables cannot be used (LittleCMS: "},
        {std::string(200, 'x'), ": not an ICC profile (no \"acsp\" signature in its header)"},
        {std::string(link).replace(16, 4, std::string("\x01\x02\x1b\xff", 4)),
         ": a device link from 0x01021bff to CMYK; the device-link conversion needs one from CMYK "
         "to CMYK"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.fault);
        WriteFile(scratch.Path("link.icc"), c.bytes);
        const CliRun run =
            RunCli({"convert", "--cms", db.Path("cmsdb"), "--device-link", scratch.Path("link.icc"),
                    input, "-o", scratch.Path("out.json")});
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_EQ(0u, run.err.find("ERROR: " + scratch.Path("link.icc") + c.fault)) << run.err;
        EXPECT_EQ(1, CountLines(run.err, "ERROR: ")) << run.err;
        EXPECT_FALSE(Exists(scratch.Path("out.json")));
    }
    // The same file named by a file: URL is checked as well.
    WriteFile(scratch.Path("link.icc"), link.substr(0, 1000));
    const CliRun run =
        RunCli({"convert", "--cms", db.Path("cmsdb"), "--device-link",
                "file://" + scratch.Path("link.icc"), input, "-o", scratch.Path("out.json")});
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(scratch.Path("link.icc") + ": the file is cut short"))
        << run.err;
}

TEST(DamagedInput, PathsThatAreNotUtf8) {
    Scratch db;
    MakeDatabase(db.Path("cmsdb"));
    Scratch scratch;
    // A document in a folder whose name is not UTF-8 converts into another
    // such folder, and the result reads back: its pixel files are named
    // relative to it.
    const std::string input = CopySample(scratch.Path("in-\xff"));
    WriteFile(scratch.Path("out-\xfe/.keep"), "");
    CliRun run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy", "ISO Coated", input,
                         "-o", scratch.Path("out-\xfe/out.json")});
    EXPECT_EQ(0, run.status) << run.err;
    run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy", "ISO Coated",
                  scratch.Path("out-\xfe/out.json"), "-o", scratch.Path("again.json")});
    EXPECT_EQ(0, run.status) << run.err;

    // A document file whose own name is not UTF-8 could not name its pixel
    // files in JSON: refused before anything is read.
    run = RunCli({"convert", "--cms", db.Path("cmsdb"), "--strategy", "ISO Coated", input, "-o",
                  scratch.Path("bad-\xfe.json")});
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("ERROR: the output name '" +
                                              scratch.Path("bad-\xfe.json") + "' is not UTF-8"))
        << run.err;
    EXPECT_FALSE(HasSanitizerReport(run.err)) << run.err;
    EXPECT_EQ((std::vector<std::string>{
                  "again.json", "again.logo.tif", "again.photo.tif", "in-\xff/sample.json",
                  "in-\xff/sample.logo.tif", "in-\xff/sample.photo.tif", "out-\xfe/.keep",
                  "out-\xfe/out.json", "out-\xfe/out.logo.tif", "out-\xfe/out.photo.tif"}),
              FilesUnder(scratch.Folder()));
}

}  // namespace
}  // namespace rdz::reliability
