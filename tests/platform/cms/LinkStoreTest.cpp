// The link store: links saved under names, found again by name and by the
// request they were made from, across restarts of the library, written so
// that no crash or second program leaves a half-written or mismatched link.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "platform/cms/StandIn.h"
#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<TProcLink> ColourSpaceLink(
    TCMS::RenderingIntent intent = TCMS::RelativeColorimetric, int resolution = 0) {
    auto par = ColourSpacePar(intent, false);
    par.int0x2C = resolution;
    return TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                            Process("ps_cmyk.icc"), par);
}

std::shared_ptr<TProcLink> Find(const char* name) {
    return TCMS_ProcLinkDBNew(TCMS_GetLib(), kProduct, name, 0, 255, 0, 255);
}

/// Ends the library and opens the same folder again: a new program run.
void Restart() {
    const std::string folder = rdz::cms::DatabaseFolder();
    TCMS_End();
    rdz::cms::SetDatabaseFolder(folder);
    TCMS_Init();
}

bool ErrorMentions(const std::string& text) {
    for (const std::string& error : rdz::cms::LinkErrors()) {
        if (error.find(text) != std::string::npos)
            return true;
    }
    return false;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(CmsLinkStore, StoredLinkComesBackAfterARestartWithoutComputing) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto link = ColourSpaceLink();
    EXPECT_STREQ("", TCMS_ProcLinkGetName(link));  // not stored yet
    Store(link, "rodadazerivospace42");
    const auto saving = [] {
        return TCMS_ProcLinkGCRNew(
            TCMS_GetLib(), kProduct, Process("ps_cmyk.icc"),
            InkSavingPar(TCMS::BlackGenModeInkSaving, 0.2, 0.9, 0.1, 0.5, 0));
    };
    Store(saving(), "reseparation7");

    Restart();
    rdz::cms::ResetLinkCounts();
    const auto again = ColourSpaceLink();
    ASSERT_TRUE(again != nullptr);
    EXPECT_STREQ("rodadazerivospace42", TCMS_ProcLinkGetName(again));
    EXPECT_EQ(0, TCMS_ProcLinkMakeAcceleration(again, true));
    const auto transform = LinkTransform("rodadazerivospace42");
    ASSERT_TRUE(transform != nullptr);
    EXPECT_STREQ("reseparation7", TCMS_ProcLinkGetName(saving()));
    const rdz::cms::LinkCounts counts = rdz::cms::GetLinkCounts();
    EXPECT_EQ(0, counts.computed);
    EXPECT_EQ(2, counts.loaded);
    EXPECT_EQ(1, counts.accelerated);  // the transform uses the same preparation

    // Another request computes another link.
    const auto other = ColourSpaceLink(TCMS::Perceptual);
    ASSERT_TRUE(other != nullptr);
    EXPECT_STREQ("", TCMS_ProcLinkGetName(other));
    EXPECT_EQ(1, rdz::cms::GetLinkCounts().computed);
    EXPECT_TRUE(rdz::cms::LinkErrors().empty());
}

TEST(CmsLinkStore, LinkOfAChangedProfileIsNeitherFoundNorUsed) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(ColourSpaceLink(), "old");
    // The destination process is replaced by another profile of the same name.
    folder.AddProcess("ps_cmyk.icc", DefaultCmyk());
    Restart();
    rdz::cms::ResetLinkCounts();
    const auto fresh = ColourSpaceLink();
    ASSERT_TRUE(fresh != nullptr);
    EXPECT_STREQ("", TCMS_ProcLinkGetName(fresh));
    EXPECT_EQ(1, rdz::cms::GetLinkCounts().computed);
    EXPECT_EQ(nullptr, Find("old"));
    EXPECT_EQ(nullptr, LinkTransform("old"));
    EXPECT_TRUE(
        ErrorMentions("links/reseparation/old.json: destination: process 'ps_cmyk.icc' "
                      "has a different profile than when the link was made"));
}

TEST(CmsLinkStore, DamagedStoredLinksGiveClearErrors) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(ColourSpaceLink(), "good");
    Store(ColourSpaceLink(TCMS::Perceptual), "other");
    const std::string dir = folder.LinkFolder();
    auto copy = [&](const std::string& from, const std::string& to) {
        fs::copy_file(dir + "/" + from, dir + "/" + to, fs::copy_options::overwrite_existing);
    };
    // A profile cut short, a JSON that is not JSON, a pair that was not
    // written together, a profile that is not a link, a JSON without profile.
    copy("good.json", "cut.json");
    {
        std::ifstream in(dir + "/good.icc", std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(dir + "/cut.icc", std::ios::binary).write(bytes.data(), 1000);
    }
    folder.Write("links/reseparation/garbage.json", "{ \"kind\": ");
    copy("good.json", "mixed.json");
    copy("other.icc", "mixed.icc");
    copy("good.json", "alone.json");
    Restart();
    const struct {
        const char* name;
        const char* fault;
    } cases[] = {
        {"cut", "cut.json: cut.icc does not match its JSON"},
        {"garbage", "garbage.json: not valid JSON"},
        {"mixed",
         "mixed.json: mixed.icc does not match its JSON (size or fingerprint): the two "
         "files were not written together"},
        {"alone", "alone.json: cannot read alone.icc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nullptr, Find(c.name));
        EXPECT_EQ(nullptr, LinkTransform(c.name));
        EXPECT_TRUE(ErrorMentions(std::string("links/reseparation/") + c.fault));
    }
    // A damaged link is reported once, not at every look-up.
    const std::size_t reported = rdz::cms::LinkErrors().size();
    EXPECT_EQ(nullptr, Find("cut"));
    EXPECT_EQ(reported, rdz::cms::LinkErrors().size());
    // The damaged files do not keep the good links from being found.
    EXPECT_TRUE(Find("good") != nullptr);
    EXPECT_STREQ("other", TCMS_ProcLinkGetName(ColourSpaceLink(TCMS::Perceptual)));

    // A name whose link is damaged counts as free: storing there repairs it.
    Store(ColourSpaceLink(TCMS::Saturation), "mixed");
    Restart();
    EXPECT_TRUE(Find("mixed") != nullptr);
}

TEST(CmsLinkStore, FlushWritesWholeFilesOrReportsWhyNot) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(ColourSpaceLink(), "one");
    // Only the pair and the lock file: no temporary file is left behind.
    EXPECT_EQ((std::vector<std::string>{".lock", "one.icc", "one.json"}),
              FilesIn(folder.LinkFolder()));

    // A product whose folder cannot be made: the flush fails and says why,
    // and the link still serves this run.
    folder.Write("links/blocked", "a file where the folder should be");
    EXPECT_EQ(-1, TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), "blocked"));
    auto par = ColourSpacePar(TCMS::Perceptual, false);
    par.int0x2C = 0;
    const auto link = TCMS_ProcLinkNew(TCMS_GetLib(), "blocked", Process("default_cmyk.icc"),
                                       Process("ps_cmyk.icc"), par);
    ASSERT_TRUE(link != nullptr);
    EXPECT_EQ(0, TCMS_ProcLinkSetName(link, "two"));
    EXPECT_EQ(0, TCMS_ProcLinkSaveInDB(link, 1));
    EXPECT_EQ(-1, TCMS_ProcLinkFlushDB(TCMS_GetLib()));
    EXPECT_TRUE(ErrorMentions("links/blocked/two.json: cannot create the folder"));
    EXPECT_TRUE(TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, "blocked", "two",
                                  TCMS::ResolutionHigh) != nullptr);
}

TEST(CmsLinkStore, AWriteThatFailsPartWayLeavesTheStoredLinkAsItWas) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    Store(ColourSpaceLink(), "kept");
    const std::vector<std::string> before = FilesIn(folder.LinkFolder());
    // Another program replaces the link under a file-size limit far below
    // the profile's size: its writes stop part-way, as on a full disk.
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 200;
        setrlimit(RLIMIT_FSIZE, &limit);
        const auto other = ColourSpaceLink(TCMS::Perceptual);
        const bool failed = other && TCMS_ProcLinkSetName(other, "kept") == 0 &&
                            TCMS_ProcLinkSaveInDB(other, 1) == 0 &&
                            TCMS_ProcLinkFlushDB(TCMS_GetLib()) == -1 &&
                            ErrorMentions("kept.json: cannot write: File too large");
        _exit(failed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Restart();
    // The first link is still whole and found, and no temporary file is left.
    EXPECT_STREQ("kept", TCMS_ProcLinkGetName(ColourSpaceLink()));
    EXPECT_STREQ("", TCMS_ProcLinkGetName(ColourSpaceLink(TCMS::Perceptual)));
    EXPECT_TRUE(rdz::cms::LinkErrors().empty()) << testing::PrintToString(rdz::cms::LinkErrors());
    EXPECT_EQ(before, FilesIn(folder.LinkFolder()));
}

TEST(CmsLinkStore, NamesAreCheckedAndTakenNamesKept) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto link = ColourSpaceLink();
    EXPECT_EQ(-1, TCMS_ProcLinkSaveInDB(link, 1));  // no name yet
    for (const char* bad : {"", "a/b", "..", ".hidden", "tab\there", "new\nline"})
        EXPECT_EQ(-1, TCMS_ProcLinkSetName(link, bad)) << bad;
    EXPECT_EQ(-1, TCMS_ProcLinkSetName(link, std::string(251, 'x').c_str()));
    Store(link, "taken");

    const auto second = ColourSpaceLink(TCMS::Saturation);
    EXPECT_EQ(0, TCMS_ProcLinkSetName(second, "taken"));
    EXPECT_EQ(-1, TCMS_ProcLinkSaveInDB(second, 0));  // not over another link
    EXPECT_EQ(0, TCMS_ProcLinkSaveInDB(second, 1));
    EXPECT_EQ(0, TCMS_ProcLinkFlushDB(TCMS_GetLib()));
    Restart();
    // The name now holds the second link: the saturation request finds it.
    EXPECT_STREQ("taken", TCMS_ProcLinkGetName(ColourSpaceLink(TCMS::Saturation)));
    EXPECT_STREQ("", TCMS_ProcLinkGetName(ColourSpaceLink()));

    // Look-ups by name: case matters; other channel ranges are not links'.
    EXPECT_TRUE(Find("taken") != nullptr);
    EXPECT_EQ(nullptr, Find("Taken"));
    EXPECT_EQ(nullptr, Find("missing"));
    EXPECT_EQ(nullptr, TCMS_ProcLinkDBNew(TCMS_GetLib(), kProduct, "taken", 255, 0, 0, 255));
    EXPECT_EQ(nullptr, TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kProduct,
                                         "missing", TCMS::ResolutionHigh));
}

TEST(CmsLinkStore, DatabaseInMemoryKeepsLinksForTheRunOnly) {
    OpenDatabase db("");
    EXPECT_EQ(nullptr, TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, nullptr, nullptr,
                                        ColourSpacePar(TCMS::Perceptual, false)));
    // Without processes there is nothing to link; the store still works.
    EXPECT_EQ(0, TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kProduct));
    EXPECT_EQ(0, TCMS_ProcLinkFlushDB(TCMS_GetLib()));
    EXPECT_EQ(nullptr, Find("anything"));
}

TEST(CmsLinkStore, TwoProgramsWritingOneNameLeaveOneWholeLink) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const auto mine = ColourSpaceLink();
    const auto theirs = ColourSpaceLink(TCMS::Perceptual);
    ASSERT_TRUE(mine && theirs);
    EXPECT_EQ(0, TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kProduct));
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    const auto& link = child == 0 ? theirs : mine;
    TCMS_ProcLinkSetName(link, "shared");
    bool ok = true;
    for (int round = 0; round < 40; ++round) {
        ok = ok && TCMS_ProcLinkSaveInDB(link, 1) == 0 && TCMS_ProcLinkFlushDB(TCMS_GetLib()) == 0;
    }
    if (child == 0)
        _exit(ok ? 0 : 1);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Restart();
    // Whoever wrote last, the pair belongs together and is one of the two.
    ASSERT_TRUE(Find("shared") != nullptr) << testing::PrintToString(rdz::cms::LinkErrors());
    const bool isMine = std::string("shared") == TCMS_ProcLinkGetName(ColourSpaceLink());
    const bool isTheirs =
        std::string("shared") == TCMS_ProcLinkGetName(ColourSpaceLink(TCMS::Perceptual));
    EXPECT_NE(isMine, isTheirs);
    EXPECT_EQ((std::vector<std::string>{".lock", "shared.icc", "shared.json"}),
              FilesIn(folder.LinkFolder()));
}
