// The file helpers on POSIX systems: file calls, signals, processes.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/files/Internal.h"
#include "platform/files/Temporaries.h"

namespace rdz::files {
namespace detail {

NativeString Native(const std::string& path) {
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return (folder == "/" ? "/" : folder + "/") + name;
}

bool RemoveFile(const std::string& path, std::string* error) {
    if (::unlink(path.c_str()) == 0) {
        return true;
    }
    if (error != nullptr) {
        *error = std::strerror(errno);
    }
    return false;
}

long ProcessId() {
    return static_cast<long>(getpid());
}

}  // namespace detail

using namespace detail;

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

// ---------------------------------------------------------------------------
// Signals

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_previous[kSignalCount];

volatile sig_atomic_t g_inHandler = 0;

/// Ends the program by `signal`, which is blocked while a handler runs and
/// arrives when it returns.
void EndBySignal(int signal) {
    struct sigaction fallback;
    std::memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

extern "C" void RemoveTemporariesOnSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    RemoveRegisteredTemporaries();
    int index = 0;
    while (index < kSignalCount && kSignals[index] != signal) {
        ++index;
    }
    // A handler installed before this one runs next; when that one leads
    // back here (it too calls what it replaced), the chain ends.
    if (index < kSignalCount && g_inHandler == 0) {
        g_inHandler = 1;
        const struct sigaction& previous = g_previous[index];
        bool called = false;
        if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal, info, context);
            called = true;
        } else if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
                   previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
            called = true;
        }
        g_inHandler = 0;
        if (called) {
            errno = savedErrno;
            return;
        }
    }
    EndBySignal(signal);
    errno = savedErrno;
}

bool IsOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == &RemoveTemporariesOnSignal;
}

}  // namespace

const std::string& HostTag() {
    static const std::string tag = [] {
        char host[256] = {0};
        if (gethostname(host, sizeof host - 1) != 0) {
            host[0] = '\0';
        }
        return ShortHash(host);
    }();
    return tag;
}

// ---------------------------------------------------------------------------
// TemporaryFile

bool TemporaryFile::Create(const std::string& finalPath, unsigned mode, std::string* error) {
    Remove();
    InstallSignalHandlers();
    const std::string folder = FolderOf(finalPath);
    const std::string owner = "." + std::to_string(ProcessId()) + "@" + HostTag();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string tail = owner + "." + Hex8(RandomWord()) + kTemporarySuffix;
        const std::string name =
            "." + ShortenFileName(NameOf(finalPath), kMaxFileNameBytes - 1 - tail.size()) + tail;
        const std::string path = InFolder(folder, name);
        // Registered before it exists, so that a signal arriving between the
        // two never leaves it behind. Nobody else makes a file of this name:
        // it carries this process's id.
        detail::Slot* slot = Register(path);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int reason = errno;
            Forget(slot);
            if (reason == EEXIST) {
                continue;
            }
            *error = Reason(reason);
            return false;
        }
        if (::fchmod(fd, static_cast<mode_t>(mode & 07777)) != 0) {
            const int reason = errno;
            ::close(fd);
            ::unlink(path.c_str());
            Forget(slot);
            *error = Reason(reason);
            return false;
        }
        path_ = path;
        final_ = finalPath;
        fd_ = fd;
        slot_ = slot;
        return true;
    }
    *error = "cannot find a free name for a temporary file";
    return false;
}

bool TemporaryFile::Write(const void* data, std::size_t size, std::string* error) {
    if (fd_ < 0) {
        *error = "the file is not open";
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd_, bytes + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            *error = written < 0 ? Reason(errno) : std::string("nothing written");
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool TemporaryFile::CloseDescriptor(std::string* error) {
    if (fd_ < 0) {
        return true;
    }
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0 && errno != EINTR) {
        *error = Reason(errno);
        return false;
    }
    return true;
}

bool TemporaryFile::Sync(std::string* error) {
    int fd = fd_;
    if (fd < 0) {
        fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = Reason(errno);
            return false;
        }
    }
    const int result = ::fsync(fd);
    const int reason = errno;
    if (fd != fd_) {
        ::close(fd);
    }
    if (result != 0) {
        *error = "cannot flush to disk: " + Reason(reason);
        return false;
    }
    return true;
}

bool TemporaryFile::MoveIntoPlace(std::string* error) {
    if (path_.empty()) {
        *error = "no temporary file";
        return false;
    }
    if (fd_ >= 0 && !CloseDescriptor(error)) {
        return false;
    }
    if (::rename(path_.c_str(), final_.c_str()) != 0) {
        *error = Reason(errno);
        return false;
    }
    Release();
    return true;
}

void TemporaryFile::Remove() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
    }
    Release();
}

void TemporaryFile::Release() {
    Forget(static_cast<detail::Slot*>(slot_));
    slot_ = nullptr;
    path_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---------------------------------------------------------------------------

bool SyncFolder(const std::string& folder, std::string* error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open the folder " + folder + ": " + Reason(errno);
        return false;
    }
    const int result = ::fsync(fd);
    const int reason = errno;
    ::close(fd);
    if (result != 0 && reason != EINVAL && reason != ENOTSUP) {
        *error = "cannot flush the folder " + folder + " to disk: " + Reason(reason);
        return false;
    }
    return true;
}

void InstallSignalHandlers() {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    static bool first = true;
    if (first) {
        first = false;
        struct sigaction current;
        if (sigaction(SIGXFSZ, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
            current.sa_handler == SIG_DFL) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
    }
    // Looked at on every call: a handler the program installed after ours
    // is kept, and called after ours.
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current;
        if (sigaction(kSignals[i], nullptr, &current) != 0 || IsOurs(current)) {
            continue;
        }
        if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) {
            continue;  // nohup: stays ignored
        }
        g_previous[i] = current;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = &RemoveTemporariesOnSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int other : kSignals) {
            sigaddset(&action.sa_mask, other);
        }
        sigaction(kSignals[i], &action, nullptr);
    }
}

void RemoveRegisteredTemporaries() noexcept {
    detail::TakeRegistered([](const char* path) { ::unlink(path); });
}

int RemoveStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> seen;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!seen.insert(folder).second) {
            return 0;
        }
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const long self = ProcessId();
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        TemporaryOwner owner;
        if (entry->d_name[0] != '.' || !ParseTemporaryName(entry->d_name, &owner) ||
            owner.host != HostTag() || owner.pid == self) {
            continue;
        }
        if (::kill(static_cast<pid_t>(owner.pid), 0) == 0 || errno != ESRCH) {
            continue;  // running (or not ours to ask about): its file stays
        }
        const std::string path = InFolder(folder, entry->d_name);
        struct stat info;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

}  // namespace rdz::files
