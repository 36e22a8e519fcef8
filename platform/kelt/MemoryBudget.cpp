// The memory budget of the run's pixel memory (see kelt_builder.h).
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

std::atomic<std::uint64_t> g_budget{0};
std::atomic<std::uint64_t> g_reserved{0};

#ifdef _WIN32

/// The physical memory Windows reports, or 0; in a 32-bit process no more
/// than its address space (2 GB, or 4 GB for a large-address-aware program
/// on 64-bit Windows).
std::uint64_t PhysicalMemory() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return 0;
    }
    return status.ullTotalVirtual < status.ullTotalPhys ? status.ullTotalVirtual
                                                        : status.ullTotalPhys;
}

/// Windows has no control groups (a job's limit is not looked at).
std::uint64_t ControlGroupLimit() {
    return 0;
}

#else

std::uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

/// The limit of the process's control group (cgroup v2, then v1), or 0
/// when there is none or it cannot be read.
std::uint64_t ControlGroupLimit() {
    for (const char* file :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        std::ifstream in(file);
        std::string text;
        if (!(in >> text) || text == "max") {
            continue;
        }
        try {
            const unsigned long long limit = std::stoull(text);
            // v1 reports "no limit" as a huge page-aligned number.
            if (limit > 0 && limit < (std::uint64_t{1} << 60)) {
                return limit;
            }
        } catch (const std::exception&) {
        }
    }
    return 0;
}

#endif  // _WIN32

}  // namespace

void SetMemoryBudget(std::uint64_t bytes) {
    g_budget.store(bytes);
}

std::uint64_t MemoryBudget() {
    return g_budget.load();
}

std::uint64_t DefaultMemoryBudget() {
    std::uint64_t physical = PhysicalMemory();
    const std::uint64_t group = ControlGroupLimit();
    if (group != 0 && (physical == 0 || group < physical)) {
        physical = group;
    }
    // Without any figure, a budget a small machine still has.
    return physical != 0 ? physical / 2 : std::uint64_t{1} << 30;
}

void ReserveImageMemory(std::uint64_t bytes, const std::string& what) {
    std::uint64_t reserved = g_reserved.load();
    for (;;) {
        const std::uint64_t budget = g_budget.load();
        if (budget != 0 && (bytes > budget || reserved > budget - bytes)) {
            const std::uint64_t left = reserved < budget ? budget - reserved : 0;
            throw MemoryBudgetExceeded(what + " needs " + MemorySizeText(bytes) +
                                       " of memory, more than the " + MemorySizeText(left) +
                                       " left of the memory budget of " + MemorySizeText(budget));
        }
        if (g_reserved.compare_exchange_weak(reserved, reserved + bytes)) {
            return;
        }
    }
}

void ReleaseImageMemory(std::uint64_t bytes) {
    std::uint64_t reserved = g_reserved.load();
    while (!g_reserved.compare_exchange_weak(reserved, reserved > bytes ? reserved - bytes : 0)) {
    }
}

std::uint64_t ReservedImageMemory() {
    return g_reserved.load();
}

std::string MemorySizeText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

}  // namespace rdz::kelt
