// The ICC device-link profile of a link table, and the quick way back.
//
// A link is written as an ICC v4.3 device-link profile: header colour spaces
// from the two processes, the rendering intent in the header, a description,
// colorant tables naming the input channels (colorantTableTag) and the output
// channels (colorantTableOutTag), and an AToB0 tag holding identity curves,
// one 16-bit colour lookup table, identity curves. Any ICC reader can apply
// it. ReadLinkTable reads that exact layout back without LittleCMS's general
// tag reader, so that a stored link is ready for use in a fraction of the time
// it took to compute.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rdz::cms {

/// A sampled link: grid^nIn nodes in LittleCMS order (the last input varies
/// fastest), nOut values per node, 0..1.
struct LinkTable {
    int nIn = 0;
    int nOut = 0;
    int grid = 0;
    std::vector<float> values;
};

struct LinkProfileInfo {
    std::uint32_t inputSpace = 0;   // cmsColorSpaceSignature
    std::uint32_t outputSpace = 0;  // cmsColorSpaceSignature
    int intent = 0;                 // LittleCMS intent 0..3
    std::string description;
    std::vector<std::string> inputNames;   // one per input channel
    std::vector<std::string> outputNames;  // one per output channel
    /// CIE L*a*b* of each channel at full strength (may be empty).
    std::vector<std::array<double, 3>> inputLab;
    std::vector<std::array<double, 3>> outputLab;
};

/// The profile's bytes; empty with the reason in `*error` on failure.
std::vector<unsigned char> WriteLinkProfile(const LinkTable& table, const LinkProfileInfo& info,
                                            std::string* error);

/// The 16-bit table of a profile in the layout WriteLinkProfile writes:
/// channel counts, grid points per input and the entries. False with the
/// reason in `*why` for any other layout or damaged bytes.
struct RawLinkTable {
    int nIn = 0;
    int nOut = 0;
    std::vector<std::uint32_t> grid;
    std::vector<std::uint16_t> entries;
};
bool ReadLinkTable(const std::vector<unsigned char>& icc, RawLinkTable* table, std::string* why);

}  // namespace rdz::cms
