// Colour spaces of profile sides, their channel counts and default channel
// names.
#pragma once

#include <cstdint>
#include <string>

/// The colour space of one side of a profile, derived from an ICC header
/// signature. The numbering is fixed: note that 5 is the three-colour, 6 the
/// five-colour and 7 the four-colour space.
enum TintColorSpace : unsigned int {
    TintCS_XYZ = 0,       // 'XYZ '
    TintCS_Lab = 1,       // 'Lab '
    TintCS_RGB = 2,       // 'RGB '
    TintCS_Gray = 3,      // 'GRAY'
    TintCS_CMYK = 4,      // 'CMYK'
    TintCS_3CLR = 5,      // '3CLR'
    TintCS_5CLR = 6,      // '5CLR'
    TintCS_4CLR = 7,      // '4CLR'
    TintCS_6CLR = 8,      // '6CLR'
    TintCS_7CLR = 9,      // '7CLR'
    TintCS_8CLR = 10,     // '8CLR'
    TintCS_Unknown = 11,  // any other signature
};

/// Maps an ICC colour-space signature (as stored in the header, e.g.
/// 0x434D594B for 'CMYK') to its TintColorSpace; unknown signatures give
/// TintCS_Unknown.
TintColorSpace TintColorSpaceFromSignature(std::uint32_t signature);

/// Number of channels of `space`: 3, 3, 3, 1, 4, 3, 5, 4, 6, 7, 8 for the
/// values 0 to 10, and 0 for TintCS_Unknown or any value beyond it.
int TintNumberOfChannels(TintColorSpace space);

/// Engine-neutral name of channel `index` of `space`: "X" "Y" "Z", "L" "a"
/// "b", "Red" "Green" "Blue", "Gray", "Cyan" "Magenta" "Yellow" "Black".
/// Returns `emptyName` for an index beyond the space's names. Throws
/// TintException("unable to get colorant names") for spaces without default
/// names (everything but XYZ, Lab, RGB, Gray and CMYK).
std::string TintDefaultColorantName(TintColorSpace space, unsigned int index,
                                    const std::string& emptyName);
