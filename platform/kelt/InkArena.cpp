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
#if defined(__linux__) && UINTPTR_MAX > 0xffffffffu && !defined(RDZ_ADDRESS_SANITIZER)
#include <sys/mman.h>
#define RDZ_INK_ARENA 1
#endif

namespace rdz::kelt {

#if defined(RDZ_INK_ARENA)
namespace {

// Address space only: blocks are made readable as they fill and handed back
// (MADV_DONTNEED) when all their records are gone. 64 GiB of addresses is
// several hundred million records over the life of a process.
constexpr std::size_t kReservedBytes = std::size_t(64) << 30;
constexpr std::size_t kBlockBytes = std::size_t(64) << 10;
constexpr std::size_t kSlotBytes = kInkSlotBytes;
constexpr std::size_t kSlotsPerBlock = kBlockBytes / kSlotBytes;

class Arena {
  public:
    void* Allocate(std::size_t size) {
        if (size > kSlotBytes) {
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (base_ == nullptr && !reserveFailed_) {
            void* range = ::mmap(nullptr, kReservedBytes, PROT_NONE,
                                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (range == MAP_FAILED) {
                reserveFailed_ = true;
            } else {
                base_ = static_cast<unsigned char*>(range);
            }
        }
        if (base_ == nullptr) {
            return nullptr;
        }
        if (next_ % kSlotsPerBlock == 0) {
            const std::size_t block = next_ / kSlotsPerBlock;
            if ((block + 1) * kBlockBytes > kReservedBytes ||
                ::mprotect(base_ + block * kBlockBytes, kBlockBytes, PROT_READ | PROT_WRITE) != 0) {
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
            ::madvise(base_ + block * kBlockBytes, kBlockBytes, MADV_DONTNEED);
            ::mprotect(base_ + block * kBlockBytes, kBlockBytes, PROT_NONE);
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
