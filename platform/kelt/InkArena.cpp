#include "platform/kelt/InkArena.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RDZ_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define RDZ_ADDRESS_SANITIZER 1
#endif

// Under AddressSanitizer the records stay on the heap, where it sees every
// use after free and every leak of one.
#if !defined(RDZ_ADDRESS_SANITIZER)
#if defined(_WIN32)
#include <windows.h>
#define RDZ_INK_ARENA 1
#elif defined(__linux__) && UINTPTR_MAX > 0xffffffffu
#include <sys/mman.h>
#define RDZ_INK_ARENA 1
#endif
#endif

namespace rdz::kelt {

#if defined(RDZ_INK_ARENA)
namespace {

// Address space only: blocks are made usable as they fill and handed back to
// the system when all their records are gone. 64 GiB of addresses is several
// hundred million records over the life of a process; a 32-bit process (the
// Windows host) sets aside 64 MiB of its 2 GiB, 262,144 records, and takes
// any further ones from the heap.
#if UINTPTR_MAX > 0xffffffffu
constexpr std::size_t kReservedBytes = std::size_t(64) << 30;
#else
constexpr std::size_t kReservedBytes = std::size_t(64) << 20;
#endif
constexpr std::size_t kBlockBytes = std::size_t(64) << 10;
constexpr std::size_t kSlotBytes = kInkSlotBytes;
constexpr std::size_t kSlotsPerBlock = kBlockBytes / kSlotBytes;

#if defined(_WIN32)
unsigned char* ReserveRange() {
    return static_cast<unsigned char*>(
        ::VirtualAlloc(nullptr, kReservedBytes, MEM_RESERVE, PAGE_NOACCESS));
}
bool CommitBlock(unsigned char* block) {
    return ::VirtualAlloc(block, kBlockBytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}
void DecommitBlock(unsigned char* block) {
    ::VirtualFree(block, kBlockBytes, MEM_DECOMMIT);
}
#else
unsigned char* ReserveRange() {
    void* range = ::mmap(nullptr, kReservedBytes, PROT_NONE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return range == MAP_FAILED ? nullptr : static_cast<unsigned char*>(range);
}
bool CommitBlock(unsigned char* block) {
    return ::mprotect(block, kBlockBytes, PROT_READ | PROT_WRITE) == 0;
}
void DecommitBlock(unsigned char* block) {
    ::madvise(block, kBlockBytes, MADV_DONTNEED);
    ::mprotect(block, kBlockBytes, PROT_NONE);
}
#endif

class Arena {
  public:
    void* Allocate(std::size_t size) {
        if (size > kSlotBytes) {
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (base_ == nullptr && !reserveFailed_) {
            base_ = ReserveRange();
            reserveFailed_ = base_ == nullptr;
        }
        if (base_ == nullptr) {
            return nullptr;
        }
        if (next_ % kSlotsPerBlock == 0) {
            const std::size_t block = next_ / kSlotsPerBlock;
            if ((block + 1) * kBlockBytes > kReservedBytes ||
                !CommitBlock(base_ + block * kBlockBytes)) {
                return nullptr;
            }
            live_.push_back(0);
        }
        const std::size_t slot = next_++;
        ++live_[slot / kSlotsPerBlock];
        return base_ + slot * kSlotBytes;
    }

    /// False when `record` is not the arena's.
    bool Release(void* record) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto* bytes = static_cast<unsigned char*>(record);
        if (base_ == nullptr || bytes < base_ || bytes >= base_ + next_ * kSlotBytes) {
            return false;
        }
        const std::size_t block = static_cast<std::size_t>(bytes - base_) / kBlockBytes;
        // A block that is full and empty again is never written: its pages
        // go back to the system, its addresses stay reserved.
        if (--live_[block] == 0 && next_ >= (block + 1) * kSlotsPerBlock) {
            DecommitBlock(base_ + block * kBlockBytes);
        }
        return true;
    }

  private:
    std::mutex mutex_;
    unsigned char* base_ = nullptr;
    bool reserveFailed_ = false;
    std::size_t next_ = 0;             // slots handed out so far
    std::vector<std::uint32_t> live_;  // records alive per block
};

Arena& TheArena() {
    static Arena* arena = new Arena();  // outlives every static that frees inks
    return *arena;
}

}  // namespace

void* AllocateInkRecord(std::size_t size) {
    if (void* record = TheArena().Allocate(size)) {
        return record;
    }
    return ::operator new(size);
}

void ReleaseInkRecord(void* record) {
    if (record != nullptr && !TheArena().Release(record)) {
        ::operator delete(record);
    }
}

bool InkArenaAvailable() {
    return true;
}

#else

void* AllocateInkRecord(std::size_t size) {
    return ::operator new(size);
}

void ReleaseInkRecord(void* record) {
    ::operator delete(record);
}

bool InkArenaAvailable() {
    return false;
}

#endif

}  // namespace rdz::kelt
