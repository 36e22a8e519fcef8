// The Adobe CMM preferences file: where it is read and written, what reads
// as on, and that the file is rewritten only when the value changes.
#include <gtest/gtest.h>

#include <string>

#include "SystemControls.h"
#include "TestFolders.h"
#include "engine/TintCMMPreferences.h"
#include "engine/TintCMMPreferencesPath.h"
#include "host/win32_shell.h"

namespace {

const char kOff[] = "[AdobeCMM]\r\nBlackPointCompensation=0\r\n";
const char kOn[] = "[AdobeCMM]\r\nBlackPointCompensation=1\r\n";

class CMMPreferences : public ::testing::Test {
  protected:
    AppDataFolders folders;
    std::string UserFile() const { return FileText(folders.PreferencesFile(folders.User())); }
};

}  // namespace

TEST_F(CMMPreferences, NoFileAnywhereReadsOnAndWritesOnlyTheChange) {
    std::filesystem::create_directories(folders.User() / "Adobe");
    TintCMMPreferences& preferences = *TintCMMPreferences::GetInstance();
    EXPECT_TRUE(preferences.GetBlackPointCompensation());

    preferences.SetBlackPointCompensation(true);
    EXPECT_EQ(SystemProfileWriteCount(), 0u);
    EXPECT_EQ(UserFile(), "<missing>");

    // "Color" is created one level below the existing "Adobe".
    preferences.SetBlackPointCompensation(false);
    EXPECT_EQ(SystemProfileWriteCount(), 1u);
    EXPECT_EQ(UserFile(), kOff);
    EXPECT_FALSE(preferences.GetBlackPointCompensation());
}

TEST_F(CMMPreferences, UserFileWithZeroIsRewrittenOnceWhenTurnedOn) {
    AppDataFolders::WritePreferences(folders.User(), kOff);
    TintCMMPreferences& preferences = *TintCMMPreferences::GetInstance();
    EXPECT_FALSE(preferences.GetBlackPointCompensation());

    preferences.SetBlackPointCompensation(false);
    EXPECT_EQ(SystemProfileWriteCount(), 0u);
    preferences.SetBlackPointCompensation(true);
    preferences.SetBlackPointCompensation(true);
    EXPECT_EQ(SystemProfileWriteCount(), 1u);
    EXPECT_EQ(UserFile(), kOn);
}

TEST_F(CMMPreferences, CommonFileIsReadWhenTheUserHasNoneAndWritesGoToTheUser) {
    AppDataFolders::WritePreferences(folders.Common(), kOff);
    std::filesystem::create_directories(folders.User() / "Adobe");
    TintCMMPreferences& preferences = *TintCMMPreferences::GetInstance();
    EXPECT_FALSE(preferences.GetBlackPointCompensation());

    preferences.SetBlackPointCompensation(true);
    EXPECT_EQ(UserFile(), kOn);
    EXPECT_EQ(FileText(folders.PreferencesFile(folders.Common())), kOff);
}

TEST_F(CMMPreferences, OnlyTheExactTextOneReadsAsOn) {
    struct Case {
        std::string file;
        bool expected;
    };
    const Case cases[] = {
        {"[AdobeCMM]\nBlackPointCompensation=1\n", true},
        {"[adobecmm]\nblackpointcompensation = 1\n", true},  // names ignore case
        {"[AdobeCMM]\nSomethingElse=0\n", true},             // missing key: the default
        {"[Other]\nBlackPointCompensation=0\n", true},
        {"[AdobeCMM]\nBlackPointCompensation=\"1 \"\n", false},
        {"[AdobeCMM]\nBlackPointCompensation=true\n", false},
        {"[AdobeCMM]\nBlackPointCompensation=\n", false},
        {"[AdobeCMM]\nBlackPointCompensation=01\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        AppDataFolders::WritePreferences(folders.User(), c.file);
        EXPECT_EQ(TintCMMPreferences::ReadBlackPointCompensation(), c.expected);
    }
}

TEST_F(CMMPreferences, WithoutAdobeFolderNothingIsCreatedButTheValueIsCached) {
    TintCMMPreferences& preferences = *TintCMMPreferences::GetInstance();
    preferences.SetBlackPointCompensation(false);
    EXPECT_EQ(SystemProfileWriteCount(), 1u);
    EXPECT_FALSE(std::filesystem::exists(folders.User() / "Adobe"));
    EXPECT_FALSE(preferences.GetBlackPointCompensation());
}

TEST_F(CMMPreferences, FoldersTheShellCannotGiveCountAsNoFile) {
    AppDataFolders::WritePreferences(folders.Common(), kOff);
    SystemSetFolderPath(CSIDL_APPDATA, nullptr);
    EXPECT_FALSE(TintCMMPreferences::ReadBlackPointCompensation());

    SystemSetFolderPath(CSIDL_COMMON_APPDATA, nullptr);
    EXPECT_TRUE(TintCMMPreferences::ReadBlackPointCompensation());

    TintCMMPreferences::WriteBlackPointCompensation(false);
    EXPECT_EQ(SystemProfileWriteCount(), 0u);
}

TEST(CMMPreferencesPath, APathThatDoesNotFitIsRefusedAndLeftAlone) {
    TintCMMPath path{};
    const std::wstring folder(kTintCMMPathCapacity - 13, L'x');  // room for 12 and the zero
    std::copy(folder.begin(), folder.end(), path.begin());

    EXPECT_FALSE(TintAppendToCMMPath(path, L"/Adobe/Color/"));
    EXPECT_EQ(std::wstring(path.data()), folder);
    EXPECT_TRUE(TintAppendToCMMPath(path, L"/Adobe/Color"));
    EXPECT_EQ(std::wstring(path.data()), folder + L"/Adobe/Color");
    EXPECT_EQ(path.back(), L'\0');
}

TEST(CMMPreferencesPath, FileAndFolderUnderTheShellFolder) {
    AppDataFolders folders;
    TintCMMPath path{};
    ASSERT_TRUE(TintCMMPreferencesPath(CSIDL_APPDATA, true, path));
    EXPECT_EQ(std::wstring(path.data()),
              folders.User().wstring() + L"/Adobe/Color/AdobeCMMPrefs.txt");
    ASSERT_TRUE(TintCMMPreferencesPath(CSIDL_COMMON_APPDATA, false, path));
    EXPECT_EQ(std::wstring(path.data()), folders.Common().wstring() + L"/Adobe/Color");

    SystemSetFolderPath(CSIDL_APPDATA, nullptr);
    EXPECT_FALSE(TintCMMPreferencesPath(CSIDL_APPDATA, true, path));
    EXPECT_EQ(path[0], L'\0');
}
