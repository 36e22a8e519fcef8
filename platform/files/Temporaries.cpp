#include "platform/files/Temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace rdz::files {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
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

std::uint32_t Fnv1a(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

bool IsHex(const std::string& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return !text.empty();
}

std::uint32_t RandomWord() {
    // Seeded once from the system's entropy; the counter keeps two threads
    // that draw at once apart.
    static std::mutex mutex;
    static std::mt19937 generator([] {
        std::random_device device;
        return device() ^ static_cast<std::uint32_t>(
                              std::chrono::steady_clock::now().time_since_epoch().count());
    }());
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::uint32_t>(generator());
}

// ---------------------------------------------------------------------------
// Registered temporaries. A signal handler walks them while other threads
// add and drop entries, so the list is lock-free: fixed slots in chunks that
// are never freed, each claimed with an atomic state. The handler only
// reads a slot's path after taking the slot (state Registered -> Taken), and
// nobody writes a path while the slot is Registered or Taken.

enum SlotState : int { kFree = 0, kFilling = 1, kRegistered = 2, kTaken = 3 };

struct Slot {
    std::atomic<int> state{kFree};
    char* path = nullptr;
    std::size_t capacity = 0;
};

struct Chunk {
    static constexpr int kSlots = 64;
    Slot slots[kSlots];
    std::atomic<Chunk*> next{nullptr};
};

Chunk g_firstChunk;

Slot* Register(const std::string& path) {
    for (Chunk* chunk = &g_firstChunk;;) {
        for (Slot& slot : chunk->slots) {
            int expected = kFree;
            if (!slot.state.compare_exchange_strong(expected, kFilling)) {
                continue;
            }
            if (slot.capacity < path.size() + 1) {
                std::free(slot.path);
                slot.capacity = path.size() + 1;
                slot.path = static_cast<char*>(std::malloc(slot.capacity));
                if (slot.path == nullptr) {
                    slot.capacity = 0;
                    slot.state.store(kFree);
                    return nullptr;
                }
            }
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(kRegistered, std::memory_order_release);
            return &slot;
        }
        Chunk* next = chunk->next.load(std::memory_order_acquire);
        if (next == nullptr) {
            Chunk* fresh = new Chunk();
            if (chunk->next.compare_exchange_strong(next, fresh)) {
                next = fresh;
            } else {
                delete fresh;  // another thread appended one first
            }
        }
        chunk = next;
    }
}

void Forget(Slot* slot) {
    if (slot == nullptr) {
        return;
    }
    int expected = kRegistered;
    // When a signal handler took the slot meanwhile, it stays taken: the
    // program is ending.
    slot->state.compare_exchange_strong(expected, kFree);
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

std::string ShortHash(const std::string& text) {
    return Hex8(Fnv1a(text));
}

std::string ShortenFileName(const std::string& name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) {
        return name;
    }
    std::string extension;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
        extension = name.substr(dot);
    }
    const std::string tail = "~" + ShortHash(name) + extension;
    std::size_t keep = maxBytes > tail.size() ? maxBytes - tail.size() : 0;
    // Never cut a UTF-8 character in two: back up over continuation bytes.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return name.substr(0, keep) + tail;
}

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

bool ParseTemporaryName(const std::string& fileName, TemporaryOwner* owner) {
    // .<final>.<pid>@<host>.<random>.rdz-tmp, read from the end: the final
    // name may hold dots of its own.
    const std::string suffix = kTemporarySuffix;
    if (fileName.size() <= suffix.size() + 2 || fileName[0] != '.' ||
        fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string rest = fileName.substr(0, fileName.size() - suffix.size());
    const std::size_t randomDot = rest.rfind('.');
    if (randomDot == std::string::npos || randomDot == 0 || !IsHex(rest.substr(randomDot + 1))) {
        return false;
    }
    const std::size_t ownerDot = rest.rfind('.', randomDot - 1);
    if (ownerDot == std::string::npos || ownerDot == 0) {
        return false;
    }
    const std::string who = rest.substr(ownerDot + 1, randomDot - ownerDot - 1);
    const std::size_t at = who.find('@');
    if (at == std::string::npos || at == 0 || !IsHex(who.substr(at + 1))) {
        return false;
    }
    long pid = 0;
    for (std::size_t i = 0; i < at; ++i) {
        if (who[i] < '0' || who[i] > '9' || pid > 100000000L) {
            return false;
        }
        pid = pid * 10 + (who[i] - '0');
    }
    if (pid <= 0) {
        return false;
    }
    if (owner != nullptr) {
        owner->pid = pid;
        owner->host = who.substr(at + 1);
    }
    return true;
}

// ---------------------------------------------------------------------------
// TemporaryFile

TemporaryFile::~TemporaryFile() {
    Remove();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::move(other.path_)),
      final_(std::move(other.final_)),
      fd_(other.fd_),
      slot_(other.slot_) {
    other.path_.clear();
    other.fd_ = -1;
    other.slot_ = nullptr;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        final_ = std::move(other.final_);
        fd_ = other.fd_;
        slot_ = other.slot_;
        other.path_.clear();
        other.fd_ = -1;
        other.slot_ = nullptr;
    }
    return *this;
}

bool TemporaryFile::Create(const std::string& finalPath, unsigned mode, std::string* error) {
    Remove();
    InstallSignalHandlers();
    const std::string folder = FolderOf(finalPath);
    const std::string owner = "." + std::to_string(static_cast<long>(getpid())) + "@" + HostTag();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string tail = owner + "." + Hex8(RandomWord()) + kTemporarySuffix;
        const std::string name =
            "." + ShortenFileName(NameOf(finalPath), kMaxFileNameBytes - 1 - tail.size()) + tail;
        const std::string path = (folder == "/" ? "/" : folder + "/") + name;
        // Registered before it exists, so that a signal arriving between the
        // two never leaves it behind. Nobody else makes a file of this name:
        // it carries this process's id.
        Slot* slot = Register(path);
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
    Forget(static_cast<Slot*>(slot_));
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
    for (Chunk* chunk = &g_firstChunk; chunk != nullptr;
         chunk = chunk->next.load(std::memory_order_acquire)) {
        for (Slot& slot : chunk->slots) {
            int expected = kRegistered;
            if (slot.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) {
                ::unlink(slot.path);
            }
        }
    }
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
    const long self = static_cast<long>(getpid());
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
        const std::string path = (folder == "/" ? "/" : folder + "/") + entry->d_name;
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
