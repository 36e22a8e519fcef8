#include "formats/OutputFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "formats/Errors.h"

namespace rdz::formats {
namespace {

// Temporary files of every set, so that an interrupted run (Ctrl-C, kill)
// leaves none behind. The list only changes while the signals are blocked,
// so the handler always sees it whole.
std::set<std::string>& Temporaries() {
    static std::set<std::string>* files = new std::set<std::string>();
    return *files;
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (const std::string& file : Temporaries()) {
        unlink(file.c_str());
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

/// Blocks the signals above while it lives.
class SignalBlock {
  public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kSignals) {
            sigaddset(&set, signal);
        }
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

  private:
    sigset_t previous_;
};

void InstallHandlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    // A write past the file-size limit then fails with EFBIG, which the
    // writers report, instead of killing the program with its temporary
    // files left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal : kSignals) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = &RemoveTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        for (int other : kSignals) {
            sigaddset(&action.sa_mask, other);
        }
        struct sigaction old;
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

}  // namespace

OutputFiles::~OutputFiles() {
    SignalBlock block;
    for (const Entry& entry : entries_) {
        std::remove(entry.temporary.c_str());
        Temporaries().erase(entry.temporary);
    }
}

std::string OutputFiles::Add(const std::string& finalPath) {
    const std::filesystem::path target(finalPath);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string pattern = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    InstallHandlers();
    SignalBlock block;
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        throw WorkError("cannot write to the folder of '" + finalPath +
                        "': " + std::strerror(errno));
    }
    // mkstemp makes the file private; the output gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, static_cast<mode_t>(0666 & ~mask));
    close(fd);
    entries_.push_back(Entry{pattern, finalPath});
    Temporaries().insert(pattern);
    return pattern;
}

void OutputFiles::Commit() {
    SignalBlock block;
    while (!entries_.empty()) {
        const Entry& entry = entries_.back();
        if (std::rename(entry.temporary.c_str(), entry.final.c_str()) != 0) {
            const std::string reason = std::strerror(errno);
            throw WorkError("cannot create '" + entry.final + "': " + reason);
        }
        Temporaries().erase(entry.temporary);
        entries_.pop_back();
    }
}

}  // namespace rdz::formats
