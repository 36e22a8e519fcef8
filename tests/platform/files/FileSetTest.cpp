// Sets of files replaced whole: the main file last, the previous set intact
// after any failure, permissions kept, nothing temporary left.
#include <gtest/gtest.h>

#include "platform/files/FileSet.h"
#include "tests/platform/files/FilesTestSupport.h"

using namespace filestest;

namespace {

std::vector<std::string> Temporaries(const Scratch& scratch) {
    std::vector<std::string> found;
    for (const std::string& name : scratch.Files()) {
        if (rdz::files::ParseTemporaryName(name, nullptr)) {
            found.push_back(name);
        }
    }
    return found;
}

}  // namespace

TEST(FileSet, CommitPutsTheSetInPlaceAndRemovesOnlyWhatTheOldSetNoLongerUses) {
    Scratch scratch;
    Write(scratch.Path("doc.json"), "old");
    Write(scratch.Path("doc.a.tif"), "A");
    Write(scratch.Path("doc.b.tif"), "B");
#ifndef _WIN32
    chmod(scratch.Path("doc.json").c_str(), 0640);
    chmod(scratch.Path("doc.a.tif").c_str(), 0600);
#endif

    rdz::files::FileSet set;
    std::string mainTemporary;
    std::string companionTemporary;
    rdz::files::FileError error;
    ASSERT_TRUE(set.Add(scratch.Path("doc.json"), &mainTemporary, &error)) << error.reason;
    ASSERT_TRUE(
        set.Add(scratch.Path("doc.c.tif"), &companionTemporary, &error, scratch.Path("doc.a.tif")))
        << error.reason;
    Write(mainTemporary, "new");
    Write(companionTemporary, "C");
    set.RemoveAfterCommit(scratch.Path("doc.a.tif"));
    set.RemoveAfterCommit(scratch.Path("doc.c.tif"));  // a file of the set: kept
    // Until the commit, the old set is what readers see.
    EXPECT_EQ("old", Read(scratch.Path("doc.json")));
    EXPECT_EQ(2u, Temporaries(scratch).size());

    ASSERT_TRUE(set.Commit(&error)) << error.path << ": " << error.reason;
    EXPECT_EQ((std::vector<std::string>{"doc.b.tif", "doc.c.tif", "doc.json"}), scratch.Files());
    EXPECT_EQ("new", Read(scratch.Path("doc.json")));
    EXPECT_EQ("C", Read(scratch.Path("doc.c.tif")));
#ifndef _WIN32
    EXPECT_EQ(0640u, Mode(scratch.Path("doc.json")));
    EXPECT_EQ(0600u, Mode(scratch.Path("doc.c.tif")));  // as the file it succeeds
#endif
}

TEST(FileSet, ACommitThatFailsLeavesThePreviousSetAsItWas) {
    Scratch scratch;
    Write(scratch.Path("doc.json"), "old");
    Write(scratch.Path("doc.a.tif"), "A");
    // A folder (not empty) where the second companion belongs.
    fs::create_directory(scratch.Path("doc.y.tif"));
    Write(scratch.Path("doc.y.tif/inside"), "");

    rdz::files::FileSet set;
    rdz::files::FileError error;
    std::string temporary;
    for (const char* name : {"doc.json", "doc.x.tif", "doc.y.tif"}) {
        ASSERT_TRUE(set.Add(scratch.Path(name), &temporary, &error)) << error.reason;
        Write(temporary, std::string("new ") + name);
    }
    set.RemoveAfterCommit(scratch.Path("doc.a.tif"));
    EXPECT_FALSE(set.Commit(&error));
    EXPECT_EQ(scratch.Path("doc.y.tif"), error.path);
    EXPECT_FALSE(error.reason.empty());
    // The first companion was in place already: it is gone again, and the
    // old main file and its companion are untouched.
    EXPECT_EQ((std::vector<std::string>{"doc.a.tif", "doc.json", "doc.y.tif"}), scratch.Files());
    EXPECT_EQ("old", Read(scratch.Path("doc.json")));
    EXPECT_EQ("A", Read(scratch.Path("doc.a.tif")));
}

TEST(FileSet, ASetThatIsNeverCommittedLeavesNothing) {
    Scratch scratch;
    {
        rdz::files::FileSet set;
        rdz::files::FileError error;
        std::string temporary;
        ASSERT_TRUE(set.Add(scratch.Path("out.json"), &temporary, &error));
        Write(temporary, "half");
        EXPECT_EQ(1u, Temporaries(scratch).size());
    }
    EXPECT_TRUE(scratch.Files().empty());

    rdz::files::FileSet set;
    rdz::files::FileError error;
    std::string temporary;
    EXPECT_FALSE(set.Add(scratch.Path("no-folder/out.json"), &temporary, &error));
    EXPECT_EQ(scratch.Path("no-folder/out.json"), error.path);
    EXPECT_EQ("No such file or directory", error.reason);
}

TEST(FileSet, OneFileIsReplacedWholeAndKeepsItsPermissions) {
    Scratch scratch;
    const std::string file = scratch.Path("prefs.ini");
    Write(file, "[old]\r\n");
#ifndef _WIN32
    chmod(file.c_str(), 0604);
#endif
    std::string error;
    const std::string text = "[new]\r\nkey=value\r\n";
    ASSERT_TRUE(rdz::files::WriteFileAtomically(file, text.data(), text.size(), &error)) << error;
    EXPECT_EQ(text, Read(file));
#ifndef _WIN32
    EXPECT_EQ(0604u, Mode(file));
#endif
    EXPECT_EQ(std::vector<std::string>{"prefs.ini"}, scratch.Files());

    EXPECT_FALSE(rdz::files::WriteFileAtomically(scratch.Path("missing/prefs.ini"), text.data(),
                                                 text.size(), &error));
    EXPECT_NE(std::string::npos, error.find("No such file or directory")) << error;
    EXPECT_EQ(std::vector<std::string>{"prefs.ini"}, scratch.Files());
}
