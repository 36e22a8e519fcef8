// Bad usage, unreadable input and failed work: exit statuses, messages, and
// no output file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

class Failures : public testing::Test {
  protected:
    /// A small valid document: one process ink, one paint, one path.
    void WriteSmallDocument(const std::string& path) {
        WriteText(path, R"({
  "inks": [ { "id": "c", "book": "Process", "name": "Cyan", "kinds": ["process"] } ],
  "paints": [ { "id": "p", "solid": [ { "ink": "c", "fraction": 0.5 } ] } ],
  "components": [ { "children": [ { "type": "path", "attributes": [ { "paint": "p" } ] } ] } ]
}
)");
    }

    CliRun Convert(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"convert", "--cms", ExampleCmsDb()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    }

    Scratch scratch_;
};

TEST_F(Failures, BadUsageExitsWithTwoAndPointsAtHelp) {
    WriteSmallDocument(scratch_.Path("in.json"));
    const std::string in = scratch_.Path("in.json");
    const std::string out = scratch_.Path("out.json");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "Usage: rodadazerivo COMMAND"},
        {{"transmogrify"}, "ERROR: unknown command 'transmogrify'. Run 'rodadazerivo --help'"},
        {{"convert", in, "-o", out},
         "ERROR: give a method: --strategy NAME, --profile or "
         "--device-link FILE. Run 'rodadazerivo convert --help'"},
        {{"convert", "--strategy", "A", "--device-link", "l.icc", in, "-o", out},
         "ERROR: give one method"},
        {{"convert", "--strategy", "A", "--policy", "7", in, "-o", out},
         "ERROR: --policy expects a whole number from 0 to 2, not '7'"},
        {{"convert", "--strategy", "A", "--intent", "3", in, "-o", out},
         "ERROR: --intent does not apply to --strategy"},
        {{"convert", "--profile", "--source", "a.icc", in, "-o", out},
         "ERROR: --profile needs --destination NAME"},
        {{"convert", "--strategy", "A", "--frobnicate", in, "-o", out},
         "ERROR: unknown option '--frobnicate'"},
        {{"convert", "--strategy", "A", in}, "ERROR: give the output file with -o OUTPUT"},
        {{"convert", "--strategy", "A", in, "-o", scratch_.Path("out.tif")},
         "ERROR: the output must be of the same kind as the input"},
        {{"convert", "--strategy", "A", in, "-o", in}, "ERROR: the output must not be the input"},
        {{"convert", "--strategy", "A", "--clean", "cyan,purple", in, "-o", out},
         "ERROR: --clean expects colours among cyan, magenta, yellow, red, green, blue"},
        {{"postscript", "--csa", "--crd", "x.icc", "-o", "x.ps"},
         "ERROR: give one of --csa and --crd"},
        {{"icc-info"}, "ERROR: icc-info takes one ICC file"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
    }
    EXPECT_EQ((std::vector<std::string>{"in.json"}), scratch_.Files());

    const CliRun help = RunCli({"convert", "--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("Usage: rodadazerivo convert [--cms DIR] METHOD"));
    EXPECT_EQ("", help.err);
}

TEST_F(Failures, MalformedDocumentsNameTheFileAndThePlace) {
    struct Case {
        const char* text;
        const char* message;  // after "ERROR: <file>"
    };
    const Case cases[] = {
        {"{\n  \"inks\": [\n    { \"id\": \"c\", }\n  ]\n}\n",
         ":3:18: invalid JSON: syntax error while parsing object key"},
        {"{ \"paints\": [ { \"id\": \"p\", \"solid\": [ { \"ink\": \"nope\", \"fraction\": 1 } ] } "
         "] }",
         ": /paints/0/solid/0/ink: no ink has the id \"nope\""},
        {"{ \"inks\": [ { \"id\": \"c\", \"name\": \"Cyan\", \"opacty\": 1 } ] }",
         ": /inks/0/opacty: unknown field"},
        {"{ \"inks\": [ { \"id\": \"c\", \"name\": \"Cyan\" } ], \"paints\": [ { \"id\": \"p\", "
         "\"solid\": [ { \"ink\": \"c\", \"fraction\": 1.5 } ] } ] }",
         ": /paints/0/solid/0/fraction: expected a number from 0 to 1"},
        {"{ \"images\": [ { \"id\": \"i\", \"inks\": [], \"width\": 4, \"height\": 4, \"pixels\": "
         "\"missing.tif\" } ] }",
         "missing.tif: "},
        {"{ \"components\": [ { \"children\": [ { \"name\": \"untyped\" } ] } ] }",
         ": /components/0/children/0: missing field \"type\""},
        {"[1, 2, 3]", ": top level: expected an object"},
    };
    for (const Case& c : cases) {
        WriteText(scratch_.Path("bad.json"), c.text);
        const CliRun run = Convert({"--strategy", "ISO Coated", scratch_.Path("bad.json"), "-o",
                                    scratch_.Path("out.json")});
        EXPECT_EQ(2, run.status) << run.err;
        const std::string expected = std::string(c.message).find("missing.tif") == 0
                                         ? "ERROR: " + scratch_.Path(c.message)
                                         : "ERROR: " + scratch_.Path("bad.json") + c.message;
        EXPECT_NE(std::string::npos, run.err.find(expected)) << run.err;
        EXPECT_FALSE(Exists(scratch_.Path("out.json")));
    }
}

TEST_F(Failures, UnreadableInputsExitWithTwo) {
    WriteSmallDocument(scratch_.Path("in.json"));
    CliRun run = RunCli({"convert", "--cms", scratch_.Path("no-such-db"), "--strategy",
                         "ISO Coated", scratch_.Path("in.json"), "-o", scratch_.Path("out.json")});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch_.Path("no-such-db") +
                                              ": the CMS database folder does not exist\n"))
        << run.err;

    run = Convert({"--strategy", "ISO Coated", scratch_.Path("absent.json"), "-o",
                   scratch_.Path("out.json")});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch_.Path("absent.json") +
                                              ": cannot open: No such file or directory\n"))
        << run.err;

    run = Convert({"--device-link", scratch_.Path("absent.icc"), scratch_.Path("in.json"), "-o",
                   scratch_.Path("out.json")});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch_.Path("absent.icc") +
                                              ": cannot open the device-link file"))
        << run.err;
    EXPECT_EQ((std::vector<std::string>{"in.json"}), scratch_.Files());
}

TEST_F(Failures, FailedWorkExitsWithOneAndLeavesNoOutput) {
    if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    WriteSmallDocument(scratch_.Path("in.json"));

    // A strategy the database does not have: the converter's message, then ours.
    CliRun run = Convert({"--strategy", "No Such Strategy", scratch_.Path("in.json"), "-o",
                          scratch_.Path("out.json")});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("No Such Strategy")) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: The Color Strategy conversion failed; no output was written.\n"))
        << run.err;

    // A strategy of another type than required.
    run = Convert({"--strategy", "ISO Coated", "--strategy-type", "2", scratch_.Path("in.json"),
                   "-o", scratch_.Path("out.json")});
    EXPECT_EQ(1, run.status) << run.err;

    // An output folder that cannot be written: nothing is converted.
    run = Convert({"--strategy", "ISO Coated", scratch_.Path("in.json"), "-o",
                   scratch_.Path("no-such-folder/out.json")});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: cannot write to the folder of '" +
                                              scratch_.Path("no-such-folder/out.json") + "'"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("INFO: ")) << "converted anyway: " << run.err;

    // A file where the folder should be.
    WriteText(scratch_.Path("file"), "");
    run = Convert({"--strategy", "ISO Coated", scratch_.Path("in.json"), "-o",
                   scratch_.Path("file/out.json")});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ((std::vector<std::string>{"file", "in.json"}), scratch_.Files());
}

TEST_F(Failures, AnInterruptedRunLeavesNoFileBehind) {
    if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    TestTiff tiff;
    tiff.width = 3000;
    tiff.height = 3000;
    tiff.rowsPerStrip = 64;
    WriteTiff(scratch_.Path("in.tif"), tiff, TestPixels(tiff));
    const int process =
        StartCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "Coated to Uncoated",
                  scratch_.Path("in.tif"), "-o", scratch_.Path("out.tif")});
    // Stopped once its temporary output is there.
    bool started = false;
    for (int i = 0; i < 1000 && !started; ++i) {
        started = scratch_.Files().size() > 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(process, SIGTERM);
    const int status = WaitCli(process);
    if (status == 0) {
        GTEST_SKIP() << "the conversion finished before it could be interrupted";
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(128 + SIGTERM, status);
    EXPECT_EQ((std::vector<std::string>{"in.tif"}), scratch_.Files());
}

TEST_F(Failures, AWriteThatFailsPartWayLeavesNoFileAndTheInputUntouched) {
    if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    TestTiff tiff;
    tiff.width = 200;
    tiff.height = 200;
    WriteTiff(scratch_.Path("in.tif"), tiff, TestPixels(tiff));
    const std::string before = ReadText(scratch_.Path("in.tif"));
    // The program inherits a file-size limit far below its output's size:
    // its writes fail part-way, as on a full disk.
    struct FileSizeLimit {
        explicit FileSizeLimit(rlim_t bytes) {
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit limit = saved;
            limit.rlim_cur = bytes;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
        rlimit saved{};
    };
    CliRun run;
    {
        FileSizeLimit limit(64 * 1024);
        run = Convert({"--strategy", "Coated to Uncoated", scratch_.Path("in.tif"), "-o",
                       scratch_.Path("out.tif")});
    }
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: cannot write '" + scratch_.Path("out.tif") + "'"))
        << run.err;
    EXPECT_EQ((std::vector<std::string>{"in.tif"}), scratch_.Files());
    EXPECT_EQ(before, ReadText(scratch_.Path("in.tif")));
}

TEST_F(Failures, AMethodNotBuiltInSaysSo) {
    for (const char* method : {"profile", "device-link"}) {
        if (MethodBuilt(method)) {
            continue;
        }
        WriteSmallDocument(scratch_.Path("in.json"));
        WriteText(scratch_.Path("link.icc"), "");
        const CliRun run =
            std::string(method) == "profile"
                ? Convert({"--profile", "--source", "a", "--destination", "b",
                           scratch_.Path("in.json"), "-o", scratch_.Path("out.json")})
                : Convert({"--device-link", scratch_.Path("link.icc"), scratch_.Path("in.json"),
                           "-o", scratch_.Path("out.json")});
        EXPECT_EQ(1, run.status);
        EXPECT_NE(std::string::npos, run.err.find("conversion is not available in this build"))
            << run.err;
    }
}

}  // namespace
}  // namespace rdz::e2e
