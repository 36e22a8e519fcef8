#include "engine/TintColorSpace.h"

#include "engine/TintException.h"

namespace {

constexpr std::uint32_t Signature(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

struct SpaceEntry {
    std::uint32_t signature;
    int channels;
};

// Indexed by TintColorSpace.
constexpr SpaceEntry kSpaces[] = {
    {Signature('X', 'Y', 'Z', ' '), 3}, {Signature('L', 'a', 'b', ' '), 3},
    {Signature('R', 'G', 'B', ' '), 3}, {Signature('G', 'R', 'A', 'Y'), 1},
    {Signature('C', 'M', 'Y', 'K'), 4}, {Signature('3', 'C', 'L', 'R'), 3},
    {Signature('5', 'C', 'L', 'R'), 5}, {Signature('4', 'C', 'L', 'R'), 4},
    {Signature('6', 'C', 'L', 'R'), 6}, {Signature('7', 'C', 'L', 'R'), 7},
    {Signature('8', 'C', 'L', 'R'), 8},
};
constexpr unsigned int kSpaceCount = sizeof(kSpaces) / sizeof(kSpaces[0]);

}  // namespace

TintColorSpace TintColorSpaceFromSignature(std::uint32_t signature) {
    for (unsigned int space = 0; space < kSpaceCount; ++space) {
        if (kSpaces[space].signature == signature) {
            return static_cast<TintColorSpace>(space);
        }
    }
    return TintCS_Unknown;
}

int TintNumberOfChannels(TintColorSpace space) {
    return space < kSpaceCount ? kSpaces[space].channels : 0;
}

std::string TintDefaultColorantName(TintColorSpace space, unsigned int index,
                                    const std::string& emptyName) {
    static const char* const kXYZ[] = {"X", "Y", "Z"};
    static const char* const kLab[] = {"L", "a", "b"};
    static const char* const kRGB[] = {"Red", "Green", "Blue"};
    static const char* const kGray[] = {"Gray"};
    static const char* const kCMYK[] = {"Cyan", "Magenta", "Yellow", "Black"};

    const char* const* names = nullptr;
    unsigned int count = 0;
    switch (space) {
        case TintCS_XYZ:
            names = kXYZ;
            count = 3;
            break;
        case TintCS_Lab:
            names = kLab;
            count = 3;
            break;
        case TintCS_RGB:
            names = kRGB;
            count = 3;
            break;
        case TintCS_Gray:
            names = kGray;
            count = 1;
            break;
        case TintCS_CMYK:
            names = kCMYK;
            count = 4;
            break;
        default:
            throw TintException("unable to get colorant names");
    }
    return index < count ? std::string(names[index]) : emptyName;
}
