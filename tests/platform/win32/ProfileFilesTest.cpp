// The shell and profile-file stand-in: special folders, attributes, folder
// creation and INI files with the Windows reading and writing rules.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/win32_shell.h"
#include "platform/files/Temporaries.h"
#include "platform/win32/Win32StandIn.h"

namespace fs = std::filesystem;

namespace {

class ProfileFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        RdzWin32Reset();
        std::string pattern = (fs::temp_directory_path() / "rdz-win32-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        RdzWin32Reset();
        fs::remove_all(root);
    }

    std::wstring Wide(const fs::path& path) const { return path.wstring(); }
    void Write(const fs::path& file, const std::string& text) const {
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string Read(const fs::path& file) const {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::wstring Get(const wchar_t* section, const wchar_t* key, const fs::path& file,
                     DWORD size = 80, const wchar_t* fallback = L"dflt") const {
        std::wstring buffer(size, L'#');
        const DWORD length = GetPrivateProfileStringW(section, key, fallback, buffer.data(), size,
                                                      Wide(file).c_str());
        EXPECT_EQ(buffer[length], L'\0');
        return buffer.substr(0, length);
    }

    fs::path root;
};

}  // namespace

TEST_F(ProfileFiles, FoldersCanBePointedElsewhereOrMadeUnavailable) {
    WCHAR path[MAX_PATH] = L"untouched";
    RdzWin32SetFolderPath(CSIDL_APPDATA, L"/somewhere/user");
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_EQ(std::wstring(path), L"/somewhere/user");

    RdzWin32SetFolderPath(CSIDL_COMMON_APPDATA, nullptr);
    std::wcscpy(path, L"untouched");
    EXPECT_TRUE(FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)));
    EXPECT_EQ(std::wstring(path), L"untouched");

    const std::wstring tooLong(MAX_PATH, L'x');
    RdzWin32SetFolderPath(CSIDL_APPDATA, tooLong.c_str());
    EXPECT_TRUE(FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path)));
    EXPECT_EQ(SHGetFolderPathW(nullptr, 5, nullptr, 0, path), E_INVALIDARG);

    RdzWin32Reset();
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::wstring(path), L"/etc/xdg");
}

TEST_F(ProfileFiles, AttributesAndOneLevelFolderCreation) {
    Write(root / "file.txt", "x");
    EXPECT_EQ(GetFileAttributesW(Wide(root).c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(Wide(root / "file.txt").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(Wide(root / "none").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_FALSE(CreateDirectoryW(Wide(root / "Adobe" / "Color").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryW(Wide(root / "Adobe").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryW(Wide(root / "Adobe" / "Color").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryW(Wide(root / "Adobe").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

TEST_F(ProfileFiles, ReadingFollowsTheWindowsRules) {
    const fs::path file = root / "prefs.ini";
    EXPECT_EQ(Get(L"S", L"k", file), L"dflt");  // no file
    EXPECT_EQ(Get(L"S", L"k", file, 80, L"spaced   "), L"spaced");

    Write(file,
          "\xEF\xBB\xBF; comment\r\n[Other]\r\nkey=other\r\n"
          "[ AdobeCMM ]\r\n  Key  =  value with blanks  \r\nquoted=\" 1 \"\r\nsingle='x'\r\n"
          "empty=\r\nkey=second\r\n");
    EXPECT_EQ(Get(L"adobecmm", L"KEY", file), L"value with blanks");
    EXPECT_EQ(Get(L"AdobeCMM", L"quoted", file), L" 1 ");
    EXPECT_EQ(Get(L"AdobeCMM", L"single", file), L"x");
    EXPECT_EQ(Get(L"AdobeCMM", L"empty", file), L"");
    EXPECT_EQ(Get(L"AdobeCMM", L"missing", file), L"dflt");
    EXPECT_EQ(Get(L"Nowhere", L"key", file), L"dflt");
    EXPECT_EQ(Get(L"Other", L"key", file), L"other");
    EXPECT_EQ(Get(L"AdobeCMM", L"key", file, 6), L"value");  // cut to size - 1

    std::wstring names(64, L'#');
    const DWORD length =
        GetPrivateProfileStringW(nullptr, nullptr, L"", names.data(), 64, Wide(file).c_str());
    EXPECT_EQ(names.substr(0, length + 1), std::wstring(L"Other\0AdobeCMM\0\0", 16));
}

TEST_F(ProfileFiles, WritingKeepsEveryOtherLine) {
    const fs::path file = root / "prefs.ini";
    Write(file, "; keep me\n[AdobeCMM]\nBlackPointCompensation=1\nOther=x\n\n[Next]\na=b\n");
    EXPECT_TRUE(WritePrivateProfileStringW(L"adobecmm", L"blackpointcompensation", L"0",
                                           Wide(file).c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"AdobeCMM", L"Added", L"y", Wide(file).c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"New", L"k", L"v", Wide(file).c_str()));
    EXPECT_EQ(Read(file),
              "; keep me\r\n[AdobeCMM]\r\nBlackPointCompensation=0\r\nOther=x\r\nAdded=y\r\n\r\n"
              "[Next]\r\na=b\r\n\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(RdzWin32ProfileWriteCount(), 3u);

    EXPECT_TRUE(WritePrivateProfileStringW(L"Next", nullptr, nullptr, Wide(file).c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"AdobeCMM", L"Other", nullptr, Wide(file).c_str()));
    EXPECT_EQ(Get(L"Next", L"a", file), L"dflt");
    EXPECT_EQ(Get(L"AdobeCMM", L"Other", file), L"dflt");
    EXPECT_EQ(Get(L"AdobeCMM", L"Added", file), L"y");
}

TEST_F(ProfileFiles, WritingCreatesTheFileButNotItsFolder) {
    // Wide names reach the file system as their UTF-8.
    const fs::path folder = root / fs::u8path("\u00DCn\u00EFcode \u2713");
    const std::wstring file = Wide(root) + L"/\u00DCn\u00EFcode \u2713/prefs.ini";
    EXPECT_FALSE(WritePrivateProfileStringW(L"S", L"k", L"v", file.c_str()));
    EXPECT_FALSE(fs::exists(folder));

    fs::create_directory(folder);
    EXPECT_TRUE(WritePrivateProfileStringW(L"S", L"k", L"wert \u00E4", file.c_str()));
    EXPECT_EQ(Read(folder / "prefs.ini"), "[S]\r\nk=wert \xC3\xA4\r\n");
    WCHAR value[16] = {};
    EXPECT_EQ(GetPrivateProfileStringW(L"S", L"k", L"", value, 16, file.c_str()), 6u);
    EXPECT_EQ(std::wstring(value), L"wert \u00E4");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              1);  // no temporary file left behind
}

TEST_F(ProfileFiles, WritingReplacesTheFileWholeKeepingItsPermissions) {
    const fs::path file = root / "cmm.ini";
    Write(file, "[AdobeCMM]\r\nkey=old\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // A temporary file of a program killed while it wrote the file (pid 1
    // is alive, so a pid that exited is made here).
    const pid_t dead = fork();
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    const fs::path stale = root / (".cmm.ini." + std::to_string(dead) + "@" +
                                   rdz::files::HostTag() + ".12345678.rdz-tmp");
    Write(stale, "[half");

    EXPECT_TRUE(WritePrivateProfileStringW(L"AdobeCMM", L"key", L"new", Wide(file).c_str()));
    EXPECT_EQ("[AdobeCMM]\r\nkey=new\r\n", Read(file));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
              fs::status(file).permissions());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(root), fs::directory_iterator()));
}
