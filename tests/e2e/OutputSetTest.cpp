// A document output (the JSON file and the pixel files beside it) through
// the program: replaced whole or not at all, with its permissions; nothing
// temporary left by a failed, interrupted or killed run once the next run
// has been; long image names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/files/Temporaries.h"
#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

namespace fs = std::filesystem;

/// Every file of a folder with its bytes (folders as "<dir>").
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        files[name] = entry.is_directory() ? "<dir>" : ReadText(entry.path().string());
    }
    return files;
}

std::vector<std::string> TemporariesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (rdz::files::ParseTemporaryName(entry.path().filename().string(), nullptr)) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

unsigned Mode(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

class OutputSet : public testing::Test {
  protected:
    void SetUp() override {
        CopyFolder(ExamplesDir() + "/sample", scratch_.Path("in"));
        fs::create_directory(scratch_.Path("out"));
    }

    CliRun Convert(const std::string& input, const std::string& output,
                   std::vector<std::string> method = {"--strategy", "ISO Coated"}) {
        std::vector<std::string> args = {"convert", "--cms", ExampleCmsDb()};
        args.insert(args.end(), method.begin(), method.end());
        args.insert(args.end(), {input, "-o", output});
        return RunCli(args);
    }

    std::string In(const std::string& name = "sample.json") const {
        return scratch_.Path("in/" + name);
    }
    std::string Out(const std::string& name = "doc.json") const {
        return scratch_.Path("out/" + name);
    }

    /// A document whose one image has `size` x `size` pixels: a conversion
    /// long enough to be interrupted.
    std::string LargeDocument(int size) {
        TestTiff tiff;
        tiff.width = size;
        tiff.height = size;
        tiff.rowsPerStrip = 64;
        WriteTiff(scratch_.Path("in/large.tif"), tiff, TestPixels(tiff));
        WriteText(
            scratch_.Path("in/large.json"),
            R"({ "inks": [ { "id": "c", "book": "Process", "name": "Cyan", "kinds": ["process"] },
    { "id": "m", "book": "Process", "name": "Magenta", "kinds": ["process"] },
    { "id": "y", "book": "Process", "name": "Yellow", "kinds": ["process"] },
    { "id": "k", "book": "Process", "name": "Black", "kinds": ["process"] } ],
  "images": [ { "id": "large", "inks": ["c", "m", "y", "k"], "width": )" +
                std::to_string(size) + R"(, "height": )" + std::to_string(size) +
                R"(, "pixels": "large.tif" } ],
  "components": [ { "children": [ { "type": "image", "image": "large" } ] } ] })");
        return scratch_.Path("in/large.json");
    }

    /// Starts a conversion and waits until its output's temporary file is
    /// there; false when the run ended first.
    bool StartAndWaitForTemporary(const std::string& input, const std::string& output,
                                  int* process) {
        *process = StartCli(
            {"convert", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated", input, "-o", output});
        for (int i = 0; i < 2000; ++i) {
            if (!TemporariesIn(fs::path(output).parent_path().string()).empty()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    Scratch scratch_;
};

TEST_F(OutputSet, AReplacedOutputIsWholeAtEveryMomentAndKeepsItsPermissions) {
    ASSERT_EQ(0, Convert(In(), Out()).status);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(scratch_.Path("out"))) {
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"doc.json", "doc.logo.tif", "doc.photo.tif"}), names);
    const std::string photo = ReadText(Out("doc.photo.tif"));
    chmod(Out().c_str(), 0640);
    chmod(Out("doc.photo.tif").c_str(), 0600);
    WriteText(Out("doc.stray.tif"), "not named by any output");

    // The new pixel files take names the old document file does not use,
    // so that it stays whole until the new one replaces it; then the old
    // ones go. The same input gives the same pixels.
    ASSERT_EQ(0, Convert(In(), Out()).status);
    std::map<std::string, std::string> files = Snapshot(scratch_.Path("out"));
    EXPECT_EQ(4u, files.size());
    EXPECT_EQ(1u, files.count("doc.photo-2.tif"));
    EXPECT_EQ(1u, files.count("doc.logo-2.tif"));
    EXPECT_EQ("not named by any output", files["doc.stray.tif"]);
    EXPECT_NE(std::string::npos, files["doc.json"].find("\"pixels\": \"doc.photo-2.tif\""));
    EXPECT_EQ(photo, files["doc.photo-2.tif"]);
    EXPECT_EQ(0640u, Mode(Out()));
    EXPECT_EQ(0600u, Mode(Out("doc.photo-2.tif")));

    // And back: the names alternate, the same for the same input each time.
    ASSERT_EQ(0, Convert(In(), Out()).status);
    files = Snapshot(scratch_.Path("out"));
    EXPECT_EQ(1u, files.count("doc.photo.tif"));
    EXPECT_EQ(0u, files.count("doc.photo-2.tif"));
    EXPECT_EQ(0600u, Mode(Out("doc.photo.tif")));
    EXPECT_TRUE(TemporariesIn(scratch_.Folder()).empty());
}

TEST_F(OutputSet, AFolderInTheWayOfAPixelFileFailsTheRunBeforeAnyWork) {
    ASSERT_EQ(0, Convert(In(), Out()).status);
    fs::create_directory(Out("doc.photo-2.tif"));
    const std::map<std::string, std::string> before = Snapshot(scratch_.Path("out"));
    const CliRun run = Convert(In(), Out());
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("ERROR: cannot create '" + Out("doc.photo-2.tif") +
                           "': a folder of that name is in the way of the pixel file"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("Conversion for ink")) << "converted anyway";
    EXPECT_EQ(before, Snapshot(scratch_.Path("out")));
}

TEST_F(OutputSet, AWriteThatFailsPartWayLeavesThePreviousOutputAsItWas) {
    ASSERT_EQ(0, Convert(In(), Out()).status);
    const std::map<std::string, std::string> before = Snapshot(scratch_.Path("out"));
    // The program inherits a file-size limit below the document file's
    // size: its writes fail part-way, as on a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 6000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const CliRun run = Convert(In(), Out());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("ERROR: cannot write '" + Out() + "'")) << run.err;
    EXPECT_EQ(before, Snapshot(scratch_.Path("out")));
    EXPECT_TRUE(TemporariesIn(scratch_.Folder()).empty());
}

TEST_F(OutputSet, AReadOnlyFolderFailsTheRunBeforeAnyWork) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    ASSERT_EQ(0, Convert(In(), Out()).status);
    const std::map<std::string, std::string> before = Snapshot(scratch_.Path("out"));
    chmod(scratch_.Path("out").c_str(), 0555);
    const CliRun run = Convert(In(), Out());
    chmod(scratch_.Path("out").c_str(), 0755);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("ERROR: cannot write to the folder of '" + Out()))
        << run.err;
    EXPECT_EQ(before, Snapshot(scratch_.Path("out")));
}

TEST_F(OutputSet, AnInterruptedRunLeavesNothingAndAKilledRunsLeftoversGoWithTheNextRun) {
    if (!Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
        GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
    }
    const std::string large = LargeDocument(2500);
    ASSERT_EQ(0, Convert(In(), Out()).status);
    const std::map<std::string, std::string> before = Snapshot(scratch_.Path("out"));

    int process = 0;
    if (!StartAndWaitForTemporary(large, Out(), &process)) {
        WaitCli(process);
        GTEST_SKIP() << "the conversion finished before it could be interrupted";
    }
    kill(process, SIGTERM);
    EXPECT_EQ(128 + SIGTERM, WaitCli(process));
    EXPECT_EQ(before, Snapshot(scratch_.Path("out")));

    // SIGKILL cannot be caught: the temporary files stay, named after the
    // dead program, until the next run in that folder removes them.
    if (!StartAndWaitForTemporary(large, Out(), &process)) {
        WaitCli(process);
        GTEST_SKIP() << "the conversion finished before it could be killed";
    }
    kill(process, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, WaitCli(process));
    const std::vector<std::string> left = TemporariesIn(scratch_.Path("out"));
    ASSERT_FALSE(left.empty());
    rdz::files::TemporaryOwner owner;
    ASSERT_TRUE(rdz::files::ParseTemporaryName(fs::path(left[0]).filename().string(), &owner));
    EXPECT_EQ(process, owner.pid);
    std::map<std::string, std::string> besides = Snapshot(scratch_.Path("out"));
    for (const std::string& path : left) {
        besides.erase(fs::path(path).filename().string());
    }
    EXPECT_EQ(before, besides);

    const CliRun next = Convert(In(), Out("other.json"));
    EXPECT_EQ(0, next.status) << next.err;
    EXPECT_TRUE(TemporariesIn(scratch_.Path("out")).empty());
    EXPECT_EQ(before.at("doc.json"), ReadText(Out()));
}

TEST_F(OutputSet, TheLinkStoreLeavesNoTemporaryFileBehind) {
    if (!MethodBuilt("profile") || !Exists(ExampleCmsDb() + "/processes/default_cmyk.icc")) {
        GTEST_SKIP() << "the profile conversion or the example database is not built";
    }
    const std::vector<std::string> method = {"--profile",     "--source",    "default_cmyk.icc",
                                             "--destination", "ps_cmyk.icc", "--reseparate",
                                             "--total-ink",   "300"};
    // A temporary file of a program killed while it stored a link.
    CopyFolder(ExampleCmsDb(), scratch_.Path("db"));
    const std::string links = scratch_.Path("db/links/reseparation");
    fs::create_directories(links);
    const pid_t dead = fork();
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    const std::string stale = links + "/.rodadazerivospace1.icc." + std::to_string(dead) + "@" +
                              rdz::files::HostTag() + ".0badcafe.rdz-tmp";
    WriteText(stale, "half a profile");
    std::vector<std::string> args = {"convert", "--cms", scratch_.Path("db")};
    args.insert(args.end(), method.begin(), method.end());
    args.insert(args.end(), {In(), "-o", Out()});
    const CliRun run = RunCli(args);
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_FALSE(Exists(stale));

    // Runs ended by SIGTERM at various moments (computing, storing,
    // writing): nothing temporary anywhere afterwards.
    for (int delay : {0, 30, 100, 300}) {
        SCOPED_TRACE(delay);
        fs::remove_all(scratch_.Path("db"));
        CopyFolder(ExampleCmsDb(), scratch_.Path("db"));
        args[2] = scratch_.Path("db");
        args.back() = Out("killed.json");
        const int process = StartCli(args);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        kill(process, SIGTERM);
        const int status = WaitCli(process);
        EXPECT_TRUE(status == 0 || status == 128 + SIGTERM) << status;
        EXPECT_TRUE(TemporariesIn(scratch_.Folder()).empty());
    }
}

TEST_F(OutputSet, LongImageNamesGiveShortenedPixelFileNamesAndLongOutputNamesAreRefused) {
    std::string text = ReadText(In());
    const std::string longName(300, 'P');
    text.replace(text.find("\"name\": \"photo\""), 15, "\"name\": \"" + longName + "\"");
    WriteText(In("long.json"), text);
    CliRun run = Convert(In("long.json"), Out());
    ASSERT_EQ(0, run.status) << run.err;
    std::string pixelName;
    for (const auto& [name, bytes] : Snapshot(scratch_.Path("out"))) {
        if (name.compare(0, 8, "doc.PPPP") == 0) {
            pixelName = name;
        }
    }
    ASSERT_FALSE(pixelName.empty());
    EXPECT_LE(pixelName.size(), 200u);
    EXPECT_EQ('~', pixelName[pixelName.size() - 13]);
    EXPECT_EQ(".tif", pixelName.substr(pixelName.size() - 4));
    EXPECT_NE(std::string::npos, ReadText(Out()).find("\"pixels\": \"" + pixelName + "\""));

    // The same name every time, and the output reads back.
    fs::create_directory(scratch_.Path("again"));
    run = Convert(Out(), scratch_.Path("again/doc.json"));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(Exists(scratch_.Path("again/" + pixelName)));

    // An output whose own name is too long for a file name: refused before
    // anything is read or converted.
    const std::string tooLong = scratch_.Path("out/" + std::string(260, 'o') + ".json");
    run = Convert(In(), tooLong);
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("' is too long: its file name has 265 bytes"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("Conversion for ink")) << run.err;
}

}  // namespace
}  // namespace rdz::e2e
