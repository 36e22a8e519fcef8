// Large blocks of the program (the pixel planes of images) come straight from
// the kernel, 2 MiB aligned and marked for transparent huge pages where the
// system offers them (Linux's "madvise" mode), so that a fresh image buffer
// costs one page fault per 2 MiB instead of one per 4 KiB.
//
// Making fresh pages ready (the kernel clears every one) is a good part of
// the time a 6000 x 6000 CMYK conversion takes, and the program needs two
// such images at once (the document's and the converted one). So the work
// is spread over a second core: while the caller fills a new block from the
// front, a helper thread has the kernel prepare its pages from the back; and
// a block announced ahead (PrepareLargeBlock) is prepared while the input is
// read. MADV_POPULATE_WRITE never changes what a page holds, so the helper
// may run on while the caller writes.
//
// These are the replaceable global allocation functions, so they serve the
// library and the host stand-ins too. Under a sanitizer they are left out.
#include "formats/LargeBlocks.h"

// Sanitizers bring their own allocator, which must see every block.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RDZ_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define RDZ_SANITIZER_ALLOCATOR 1
#endif
#endif

#if defined(RDZ_SANITIZER_ALLOCATOR)

namespace rdz::formats {
void PrepareLargeBlock(std::size_t) {}
void ReleasePreparedBlock() {}
}  // namespace rdz::formats

#else

#include <pthread.h>
#include <sys/mman.h>

#include <csignal>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::size_t kLargeBlock = std::size_t{16} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

struct Mapping {
    void* start = nullptr;
    std::size_t length = 0;  // a multiple of 2 MiB
    std::thread populating;  // the helper making pages ready, if any
};

struct State {
    std::mutex mutex;
    std::unordered_map<void*, Mapping> handedOut;
    Mapping prepared;  // start is null when there is none
};

State& Blocks() {
    static State* state = new State();  // never destroyed: used until exit
    return *state;
}

std::size_t MappedLength(std::size_t size) {
    return (size + kHugePage - 1) / kHugePage * kHugePage;
}

/// `length` bytes of fresh memory, 2 MiB aligned, or null.
void* MapAligned(std::size_t length) {
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    // Keep the aligned part, give back the rest.
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t end = start + length + kHugePage;
    if (aligned > start) {
        munmap(mapped, aligned - start);
    }
    if (end > aligned + length) {
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    }
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, length, MADV_HUGEPAGE);  // a hint: without huge pages it still works
    return block;
}

/// Starts a helper that makes the block's pages ready, from the last to the
/// first, a few huge pages at a time: a caller that fills the block from the
/// front meets it somewhere in the middle, and each prepares the pages the
/// other has not reached.
void StartPopulating(Mapping& mapping) {
    char* const start = static_cast<char*>(mapping.start);
    const std::size_t length = mapping.length;
    try {
        mapping.populating = std::thread([start, length] {
            // Signals are for the main thread (see OutputFiles.cpp).
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            constexpr std::size_t kStep = 4 * kHugePage;
            for (std::size_t end = length; end > 0;) {
                const std::size_t begin = end > kStep ? end - kStep : 0;
                if (madvise(start + begin, end - begin, MADV_POPULATE_WRITE) != 0) {
                    return;  // not offered here: pages become ready when first written
                }
                end = begin;
            }
        });
    } catch (const std::system_error&) {
        // No thread: the pages become ready as they are first written.
    }
}

void Unmap(Mapping& mapping) {
    if (mapping.populating.joinable()) {
        mapping.populating.join();  // the helper must be done with the pages first
    }
    if (mapping.start != nullptr) {
        munmap(mapping.start, mapping.length);
    }
    mapping.start = nullptr;
}

void* TakeLarge(std::size_t size) {
    const std::size_t length = MappedLength(size);
    State& state = Blocks();
    Mapping mapping;
    Mapping stale;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.prepared.start != nullptr) {
            const bool fits =
                length <= state.prepared.length && length >= state.prepared.length / 2;
            (fits ? mapping : stale) = std::move(state.prepared);
            state.prepared = Mapping();
        }
    }
    Unmap(stale);  // before mapping anew, so that the two are never held together
    if (mapping.start == nullptr) {
        mapping.start = MapAligned(length);
        if (mapping.start == nullptr) {
            return nullptr;
        }
        mapping.length = length;
        StartPopulating(mapping);
    }
    void* block = mapping.start;
    try {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.handedOut.emplace(block, std::move(mapping));
    } catch (...) {
        Unmap(mapping);
        return nullptr;
    }
    return block;
}

/// True (and the block given back) when `block` is a large block.
bool GiveBackLarge(void* block) {
    if ((reinterpret_cast<std::uintptr_t>(block) & (kHugePage - 1)) != 0) {
        return false;  // large blocks are 2 MiB aligned; malloc's never are
    }
    State& state = Blocks();
    Mapping mapping;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        const auto found = state.handedOut.find(block);
        if (found == state.handedOut.end()) {
            return false;
        }
        mapping = std::move(found->second);
        state.handedOut.erase(found);
    }
    Unmap(mapping);
    return true;
}

}  // namespace

namespace rdz::formats {

void PrepareLargeBlock(std::size_t bytes) {
    if (bytes < kLargeBlock) {
        return;
    }
    Mapping mapping;
    mapping.length = MappedLength(bytes);
    mapping.start = MapAligned(mapping.length);
    if (mapping.start == nullptr) {
        return;
    }
    StartPopulating(mapping);
    Mapping replaced;
    {
        State& state = Blocks();
        std::lock_guard<std::mutex> lock(state.mutex);
        replaced = std::move(state.prepared);
        state.prepared = std::move(mapping);
    }
    Unmap(replaced);
}

void ReleasePreparedBlock() {
    Mapping prepared;
    {
        State& state = Blocks();
        std::lock_guard<std::mutex> lock(state.mutex);
        prepared = std::move(state.prepared);
        state.prepared = Mapping();
    }
    Unmap(prepared);
}

}  // namespace rdz::formats

// GCC pairs the operator delete below with the replaced operator new and
// then takes its call of free() for a mismatch; every block it frees came
// from malloc. The functions are never inlined, so that tools which replace
// the allocation functions themselves (valgrind) replace every call of them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

__attribute__((noinline)) void* operator new(std::size_t size) {
    if (size >= kLargeBlock) {
        if (void* block = TakeLarge(size)) {
            return block;
        }
    }
    for (;;) {
        if (void* block = std::malloc(size != 0 ? size : 1)) {
            return block;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}

__attribute__((noinline)) void operator delete(void* block) noexcept {
    if (block != nullptr && !GiveBackLarge(block)) {
        std::free(block);
    }
}

__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

#pragma GCC diagnostic pop

#endif
