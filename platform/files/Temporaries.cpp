#include "platform/files/Temporaries.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/files/Internal.h"

// The system's part (file calls, signals, processes) is in Posix.cpp and
// Windows.cpp.

namespace rdz::files {
namespace detail {

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
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

namespace {

// Registered temporaries. A signal handler walks them while other threads
// add and drop entries, so the list is lock-free: fixed slots in chunks that
// are never freed, each claimed with an atomic state. The handler only
// reads a slot's path after taking the slot (state Registered -> Taken), and
// nobody writes a path while the slot is Registered or Taken.

enum SlotState : int { kFree = 0, kFilling = 1, kRegistered = 2, kTaken = 3 };

}  // namespace

struct Slot {
    std::atomic<int> state{kFree};
    NativeChar* path = nullptr;
    std::size_t capacity = 0;
};

namespace {

struct Chunk {
    static constexpr int kSlots = 64;
    Slot slots[kSlots];
    std::atomic<Chunk*> next{nullptr};
};

Chunk g_firstChunk;

}  // namespace

Slot* Register(const NativeString& path) {
    for (Chunk* chunk = &g_firstChunk;;) {
        for (Slot& slot : chunk->slots) {
            int expected = kFree;
            if (!slot.state.compare_exchange_strong(expected, kFilling)) {
                continue;
            }
            if (slot.capacity < path.size() + 1) {
                std::free(slot.path);
                slot.capacity = path.size() + 1;
                slot.path =
                    static_cast<NativeChar*>(std::malloc(slot.capacity * sizeof(NativeChar)));
                if (slot.path == nullptr) {
                    slot.capacity = 0;
                    slot.state.store(kFree);
                    return nullptr;
                }
            }
            std::memcpy(slot.path, path.c_str(), (path.size() + 1) * sizeof(NativeChar));
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

void TakeRegistered(void (*remove)(const NativeChar* path)) noexcept {
    for (Chunk* chunk = &g_firstChunk; chunk != nullptr;
         chunk = chunk->next.load(std::memory_order_acquire)) {
        for (Slot& slot : chunk->slots) {
            int expected = kRegistered;
            if (slot.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) {
                remove(slot.path);
            }
        }
    }
}

}  // namespace detail

namespace {

std::uint32_t Fnv1a(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

bool IsHex(const std::string& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return !text.empty();
}

}  // namespace

std::string ShortHash(const std::string& text) {
    return detail::Hex8(Fnv1a(text));
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

}  // namespace rdz::files
