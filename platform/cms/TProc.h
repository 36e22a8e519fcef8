// A process of the CMS database: a printing condition characterised by an ICC
// profile (processes/<name>), optionally marked by <name>.json as a process of
// the CMS library's own kind, which may rename the channels and add spot inks.
//
// The process keeps the profile's bytes and opens the profile whenever a
// transform is built, so a process never holds an open LittleCMS handle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cms/LcmsHandles.h"

class TInk;

class TProc {
  public:
    struct Properties {
        std::string name;                         // the file name in processes/
        bool icc = true;                          // false: marked by <name>.json
        std::vector<unsigned char> profile;       // the ICC profile's bytes
        std::uint32_t colorSpace = 0;             // cmsColorSpaceSignature of the channels
        std::vector<std::shared_ptr<TInk>> inks;  // channels in order, then spot inks
        int nrChannels = 0;                       // channels of the profile
        bool usableAsDestination = true;          // the profile converts from PCS
    };

    explicit TProc(Properties properties);

    const std::string& Name() const { return p_.name; }
    bool IsICC() const { return p_.icc; }
    /// Number of channels the ICC profile converts.
    int NrChannels() const { return p_.nrChannels; }
    /// All inks: the channels, then the spot inks a process of our own kind adds.
    int NrInks() const { return static_cast<int>(p_.inks.size()); }
    int NrSpotInks() const { return NrInks() - p_.nrChannels; }
    const std::vector<std::shared_ptr<TInk>>& Inks() const { return p_.inks; }
    bool UsableAsDestination() const { return p_.usableAsDestination; }
    const std::vector<unsigned char>& ProfileBytes() const { return p_.profile; }
    std::uint32_t ColorSpace() const { return p_.colorSpace; }

    /// LittleCMS pixel format of the channels, interleaved, 1 or 2 bytes each.
    std::uint32_t PixelFormat(int bytesPerChannel) const;
    /// Opens the profile; null only if the bytes stopped being a profile.
    rdz::cms::ProfileHandle OpenProfile() const;
    /// True when both processes are characterised by the same profile bytes.
    bool SameProfileAs(const TProc& other) const;

  private:
    Properties p_;
};

namespace rdz::cms {

/// What the database needs to know of an ICC profile to make it a process.
struct ProfileFacts {
    std::uint32_t colorSpace = 0;
    int nrChannels = 0;
    std::vector<std::string> channelNames;          // colorant table or the usual names
    std::vector<std::array<double, 3>> channelLab;  // each channel alone at 100%
    bool usableAsDestination = false;
};

/// Reads `bytes` as a device profile that can serve as a process. Returns
/// false with the reason in `*error` when it cannot.
bool InspectProfile(const std::vector<unsigned char>& bytes, ProfileFacts* facts,
                    std::string* error);

}  // namespace rdz::cms
