// Temporary files on POSIX systems: removal when a signal interrupts the
// program, and removal of those a killed program left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "platform/files/Temporaries.h"
#include "tests/platform/files/FilesTestSupport.h"

using namespace filestest;

namespace {

/// Runs `body` in a child process; its exit status (128 + signal when a
/// signal ended it).
template <typename Body>
int InChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int g_markerFd = -1;
extern "C" void OwnHandler(int) {
    (void)!write(g_markerFd, "x", 1);
    _exit(42);
}

}  // namespace

TEST(Temporaries, InterruptingTheProgramRemovesThemAndEndsItByTheSignal) {
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        Scratch scratch;
        const int status = InChild([&] {
            rdz::files::TemporaryFile file;
            std::string error;
            if (!file.Create(scratch.Path("out.json"), 0644, &error)) {
                return 1;
            }
            raise(number);
            return 2;  // not reached
        });
        EXPECT_EQ(128 + number, status) << number;
        EXPECT_TRUE(scratch.Files().empty()) << number;
    }
}

TEST(Temporaries, AProgramsOwnHandlerStillRunsAndAnIgnoredSignalStaysIgnored) {
    Scratch scratch;
    int marker[2];
    ASSERT_EQ(0, pipe(marker));
    int status = InChild([&] {
        g_markerFd = marker[1];
        std::signal(SIGTERM, &OwnHandler);
        rdz::files::TemporaryFile file;
        std::string error;
        if (!file.Create(scratch.Path("out.json"), 0644, &error)) {
            return 1;
        }
        raise(SIGTERM);
        return 2;
    });
    EXPECT_EQ(42, status);
    char byte = 0;
    EXPECT_EQ(1, read(marker[0], &byte, 1));
    close(marker[0]);
    close(marker[1]);
    EXPECT_TRUE(scratch.Files().empty());

    // nohup: the signal is ignored, the program goes on and cleans up itself.
    status = InChild([&] {
        std::signal(SIGHUP, SIG_IGN);
        rdz::files::TemporaryFile file;
        std::string error;
        if (!file.Create(scratch.Path("out.json"), 0644, &error)) {
            return 1;
        }
        raise(SIGHUP);
        return access(file.Path().c_str(), F_OK) == 0 ? 0 : 3;
    });
    EXPECT_EQ(0, status);
    EXPECT_TRUE(scratch.Files().empty());
}

TEST(Temporaries, OnlyThoseOfDeadProgramsOnThisHostAreRemovedAsStale) {
    Scratch scratch;
    // A program killed while writing: _exit runs no destructor.
    ASSERT_EQ(0, InChild([&] {
                  rdz::files::TemporaryFile* file = new rdz::files::TemporaryFile();
                  std::string error;
                  return file->Create(scratch.Path("out.json"), 0644, &error) ? 0 : 1;
              }));
    ASSERT_EQ(1u, scratch.Files().size());
    const std::string dead = scratch.Files()[0];

    const std::string host = rdz::files::HostTag();
    const std::string mine =
        ".out.json." + std::to_string(getpid()) + "@" + host + ".0000abcd.rdz-tmp";
    const std::string parent =
        ".out.json." + std::to_string(getppid()) + "@" + host + ".0000abcd.rdz-tmp";
    const std::string otherHost = dead.substr(0, dead.find('@') + 1) +
                                  (host == "00000000" ? "11111111" : "00000000") +
                                  dead.substr(dead.find('@') + 9);
    for (const std::string& name : {mine, parent, otherHost, std::string(".out.json.tmp-1234")}) {
        Write(scratch.Path(name), "");
    }
    EXPECT_EQ(1, rdz::files::RemoveStaleTemporaries(scratch.Folder()));
    const std::vector<std::string> left = scratch.Files();
    EXPECT_EQ(4u, left.size());
    EXPECT_EQ(left.end(), std::find(left.begin(), left.end(), dead));
    // A folder is looked at once per program.
    Write(scratch.Path(dead), "");
    EXPECT_EQ(0, rdz::files::RemoveStaleTemporaries(scratch.Folder()));
}
