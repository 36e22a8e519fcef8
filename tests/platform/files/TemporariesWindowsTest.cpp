// Temporary files on Windows: those of programs that ended are removed as
// stale, and a file that another program holds open is replaced once it is
// let go, or not at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/files/FileSet.h"
#include "platform/files/Temporaries.h"
#include "tests/platform/files/FilesTestSupport.h"

using namespace filestest;

namespace {

/// This test program started again, listing its tests into NUL; suspended
/// (still running) when asked. Its process handle, or null.
HANDLE StartSelf(bool suspended, DWORD* pid) {
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE,
                                        suspended ? CREATE_SUSPENDED : 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(nul);
    if (!started) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    *pid = process.dwProcessId;
    return process.hProcess;
}

std::string TemporaryName(DWORD pid, const std::string& host) {
    return ".out.json." + std::to_string(pid) + "@" + host + ".0000abcd.rdz-tmp";
}

}  // namespace

TEST(WindowsTemporaries, OnlyThoseOfEndedProgramsOnThisHostAreRemovedAsStale) {
    Scratch scratch;
    DWORD endedHeld = 0;
    DWORD endedGone = 0;
    DWORD running = 0;
    // One that ended while this program still holds its handle (the system
    // keeps its id), one that ended and is forgotten, one that runs.
    const HANDLE held = StartSelf(false, &endedHeld);
    ASSERT_NE(nullptr, held);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 60000));
    const HANDLE gone = StartSelf(false, &endedGone);
    ASSERT_NE(nullptr, gone);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gone, 60000));
    CloseHandle(gone);
    const HANDLE runs = StartSelf(true, &running);
    ASSERT_NE(nullptr, runs);

    const std::string host = rdz::files::HostTag();
    const std::string otherHost = host == "00000000" ? "11111111" : "00000000";
    for (const std::string& name :
         {TemporaryName(endedHeld, host), TemporaryName(endedGone, host),
          TemporaryName(running, host), TemporaryName(GetCurrentProcessId(), host),
          TemporaryName(endedGone, otherHost), std::string(".out.json.tmp-1234")}) {
        Write(scratch.Path(name), "");
    }
    EXPECT_EQ(2, rdz::files::RemoveStaleTemporaries(scratch.Folder()));
    TerminateProcess(runs, 1);
    CloseHandle(runs);
    CloseHandle(held);
    const std::vector<std::string> left = scratch.Files();
    EXPECT_EQ(4u, left.size());
    for (DWORD ended : {endedHeld, endedGone}) {
        EXPECT_EQ(left.end(), std::find(left.begin(), left.end(), TemporaryName(ended, host)))
            << ended;
    }
}

TEST(WindowsTemporaries, AFileHeldOpenIsReplacedOnceLetGoOrNotAtAll) {
    Scratch scratch;
    const std::string file = scratch.Path("prefs.ini");
    Write(file, "old");
    // A reader that does not share deletion (as a scanner or an indexer
    // opens files): Windows refuses to rename over the file meanwhile.
    const auto open = [&] {
        return CreateFileW(fs::path(file).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE reader = open();
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    std::string error;
    EXPECT_FALSE(rdz::files::WriteFileAtomically(file, "new", 3, &error));
    EXPECT_NE(std::string::npos, error.find("cannot rename into place: ")) << error;
    CloseHandle(reader);
    EXPECT_EQ("old", Read(file));
    EXPECT_EQ(std::vector<std::string>{"prefs.ini"}, scratch.Files());

    // Let go while the writer waits for it.
    reader = open();
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    std::thread release([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        CloseHandle(reader);
    });
    EXPECT_TRUE(rdz::files::WriteFileAtomically(file, "new", 3, &error)) << error;
    release.join();
    EXPECT_EQ("new", Read(file));
    EXPECT_EQ(std::vector<std::string>{"prefs.ini"}, scratch.Files());
}
