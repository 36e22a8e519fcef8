// icc-info and postscript: the colour engine's view of ICC files.
#include <gtest/gtest.h>

#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

TEST(EngineCommands, IccInfoDescribesProfilesAndDeviceLinks) {
    CliRun run = RunCli({"icc-info", DefaultCmykProfile()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Kind: output device profile")) << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find("Colour space: CMYK, 4 channels: Cyan, Magenta, Yellow, Black\n"))
        << run.out;

    Scratch scratch;
    WriteDeviceLink(DefaultCmykProfile(), PsCmykProfile(), scratch.Path("link.icc"));
    run = RunCli({"icc-info", scratch.Path("link.icc")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Kind: device link (ICC 4.3)")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Input: CMYK, 4 channels")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Output: CMYK, 4 channels")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Link: can be built")) << run.out;

    // 200 bytes that are not a profile.
    WriteText(scratch.Path("junk.icc"), std::string(200, 'x'));
    run = RunCli({"icc-info", scratch.Path("junk.icc")});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: " + scratch.Path("junk.icc") + ": "))
        << run.err;
    EXPECT_EQ("", run.out);
}

TEST(EngineCommands, PostScriptWritesColourSpaceArraysAndRenderingDictionaries) {
    Scratch scratch;
    CliRun run =
        RunCli({"postscript", "--csa", DefaultCmykProfile(), "-o", scratch.Path("csa.ps")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, ReadText(scratch.Path("csa.ps")).find("CIEBased"));

    run = RunCli({"postscript", "--crd", DefaultCmykProfile(), "--intent", "1", "-o",
                  scratch.Path("crd.ps")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, ReadText(scratch.Path("crd.ps")).find("/ColorRenderingType"));

    run = RunCli(
        {"postscript", "--crd", DefaultCmykProfile(), "--intent", "9", "-o", scratch.Path("x.ps")});
    EXPECT_EQ(2, run.status);
    EXPECT_FALSE(Exists(scratch.Path("x.ps")));
}

}  // namespace
}  // namespace rdz::e2e
