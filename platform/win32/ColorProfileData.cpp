#include "platform/win32/ColorProfileData.h"

namespace rdz_win32 {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTagEntrySize = 12;
constexpr std::uint32_t kMagic = 0x61637370;  // 'acsp'

}  // namespace

std::shared_ptr<ColorProfileData> ColorProfileData::Open(const void* data, std::size_t size) {
    if (data == nullptr || size < kHeaderSize + 4 || size > 0xFFFFFFFFu) {
        return nullptr;
    }
    std::shared_ptr<ColorProfileData> profile(new ColorProfileData());
    const auto* bytes = static_cast<const BYTE*>(data);
    profile->m_bytes.assign(bytes, bytes + size);
    profile->m_handle =
        cmsOpenProfileFromMem(profile->m_bytes.data(), static_cast<cmsUInt32Number>(size));
    if (profile->m_handle == nullptr) {
        return nullptr;
    }
    return profile;
}

ColorProfileData::~ColorProfileData() {
    if (m_handle != nullptr) {
        cmsCloseProfile(m_handle);
    }
}

std::uint32_t ColorProfileData::Big32(std::size_t at) const {
    return (std::uint32_t(m_bytes[at]) << 24) | (std::uint32_t(m_bytes[at + 1]) << 16) |
           (std::uint32_t(m_bytes[at + 2]) << 8) | std::uint32_t(m_bytes[at + 3]);
}

bool ColorProfileData::IsWellFormed() const {
    const std::uint64_t declared = Big32(0);
    if (declared > m_bytes.size() || declared < kHeaderSize + 4 || Big32(36) != kMagic) {
        return false;
    }
    const std::uint64_t count = Big32(kHeaderSize);
    if (kHeaderSize + 4 + count * kTagEntrySize > declared) {
        return false;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t entry = kHeaderSize + 4 + static_cast<std::size_t>(i) * kTagEntrySize;
        const std::uint64_t offset = Big32(entry + 4);
        const std::uint64_t size = Big32(entry + 8);
        if (offset + size > declared) {
            return false;
        }
    }
    return true;
}

bool ColorProfileData::FindTag(std::uint32_t signature, std::uint32_t& offset,
                               std::uint32_t& size) const {
    const std::uint64_t count = Big32(kHeaderSize);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kHeaderSize + 4 + i * kTagEntrySize;
        if (entry + kTagEntrySize > m_bytes.size()) {
            return false;
        }
        const auto at = static_cast<std::size_t>(entry);
        if (Big32(at) != signature) {
            continue;
        }
        const std::uint64_t tagOffset = Big32(at + 4);
        const std::uint64_t tagSize = Big32(at + 8);
        if (tagOffset + tagSize > m_bytes.size()) {
            return false;
        }
        offset = static_cast<std::uint32_t>(tagOffset);
        size = static_cast<std::uint32_t>(tagSize);
        return true;
    }
    return false;
}

bool ColorProfileData::IsSharedTag(std::uint32_t signature) const {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    if (!FindTag(signature, offset, size)) {
        return false;
    }
    const std::uint64_t count = Big32(kHeaderSize);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kHeaderSize + 4 + i * kTagEntrySize;
        if (entry + kTagEntrySize > m_bytes.size()) {
            break;
        }
        const auto at = static_cast<std::size_t>(entry);
        if (Big32(at) != signature && Big32(at + 4) == offset) {
            return true;
        }
    }
    return false;
}

HandleRegistry<ProfileHandle>& ProfileHandles() {
    // Never destroyed: handles may be closed by destructors of other
    // static objects while the process ends.
    static auto* registry = new HandleRegistry<ProfileHandle>();
    return *registry;
}

ColorProfileData* FindProfile(HPROFILE handle) {
    ProfileHandle* found = ProfileHandles().Find(handle);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->data.get();
}

}  // namespace rdz_win32
