#include "engine/icm/TintICMColorantName.h"

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint64_t kHeadSize = 12;
constexpr std::uint64_t kEntrySize = 38;
constexpr std::size_t kNameSize = 32;

// Reads the whole tag; false when the colour system does not give it.
bool ReadTag(HPROFILE profile, TAGTYPE tag, std::vector<unsigned char>& bytes) {
    DWORD size = 0;
    BOOL shared = FALSE;
    // The size query gives FALSE (ERROR_INSUFFICIENT_BUFFER) even for a tag
    // that is there: only the size it leaves tells. A missing tag leaves 0.
    GetColorProfileElement(profile, tag, 0, &size, nullptr, &shared);
    if (size == 0) {
        return false;
    }
    // One byte more than the tag, zero, as a guard behind the data.
    bytes.assign(std::size_t(size) + 1, 0);
    DWORD read = size;
    if (!GetColorProfileElement(profile, tag, 0, &read, bytes.data(), &shared)) {
        return false;
    }
    bytes.resize(read < size ? read : size);
    return true;
}

std::string EntryName(const std::vector<unsigned char>& table, unsigned int index) {
    if (table.size() < kHeadSize) {
        return std::string();
    }
    const std::uint64_t count = (std::uint64_t(table[8]) << 24) | (std::uint64_t(table[9]) << 16) |
                                (std::uint64_t(table[10]) << 8) | std::uint64_t(table[11]);
    if (index >= count || kHeadSize + count * kEntrySize > table.size()) {
        return std::string();
    }
    const auto* name = reinterpret_cast<const char*>(table.data() + kHeadSize + index * kEntrySize);
    std::size_t length = 0;
    while (length < kNameSize && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

}  // namespace

std::string TintICMColorantName(HPROFILE profile, TAGTYPE tag, TintColorSpace space,
                                unsigned int index) {
    std::vector<unsigned char> table;
    if (ReadTag(profile, tag, table)) {
        return EntryName(table, index);
    }
    return TintDefaultColorantName(space, index, std::string());
}
