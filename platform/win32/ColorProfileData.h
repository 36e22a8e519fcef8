// What a colour-system profile handle stands for.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "host/win32_icm.h"
#include "platform/win32/HandleRegistry.h"

namespace rdz_win32 {

/// An opened profile: its own copy of the bytes and LittleCMS's view of
/// them. Shared by the profile handle and by every transform built from it,
/// so that closing the handle leaves those transforms working.
class ColorProfileData {
  public:
    /// Copies the `size` bytes at `data` and opens them with LittleCMS; null
    /// when LittleCMS does not accept them.
    static std::shared_ptr<ColorProfileData> Open(const void* data, std::size_t size);
    ~ColorProfileData();
    ColorProfileData(const ColorProfileData&) = delete;
    ColorProfileData& operator=(const ColorProfileData&) = delete;

    cmsHPROFILE Handle() const { return m_handle; }
    const std::vector<BYTE>& Bytes() const { return m_bytes; }

    /// True when the header's size field covers at most the bytes held, the
    /// 'acsp' mark is there and the tag directory and every tag lie inside
    /// the declared size.
    bool IsWellFormed() const;

    /// Offset and size of tag `signature` in the directory; false when the
    /// profile has no such tag or the tag lies outside the bytes held.
    bool FindTag(std::uint32_t signature, std::uint32_t& offset, std::uint32_t& size) const;
    /// True when another tag of the directory points at the same data.
    bool IsSharedTag(std::uint32_t signature) const;

    /// The big-endian number at `at` (the caller checks the bounds).
    std::uint32_t Big32(std::size_t at) const;

  private:
    ColorProfileData() = default;

    std::vector<BYTE> m_bytes;
    cmsHPROFILE m_handle = nullptr;
};

/// What an HPROFILE points at.
struct ProfileHandle {
    std::shared_ptr<ColorProfileData> data;
};

/// The process-wide registry of open profile handles.
HandleRegistry<ProfileHandle>& ProfileHandles();

/// The profile of `handle`, or null (with ERROR_INVALID_HANDLE set) for a
/// handle that is not open.
ColorProfileData* FindProfile(HPROFILE handle);

}  // namespace rdz_win32
