#include "ICMFixtures.h"

#include <algorithm>
#include <cstdlib>

#include "SystemControls.h"

TintProfile OpenICM(const Bytes& bytes) {
    return TintICM::GetInstance()->OpenProfile(bytes.data(),
                                               static_cast<unsigned int>(bytes.size()));
}

TintDLProfile OpenICMDL(const Bytes& bytes) {
    return TintICM::GetInstance()->OpenDLProfile(bytes.data(),
                                                 static_cast<unsigned int>(bytes.size()));
}

Bytes LabProfile() {
    ProfilePtr lab(cmsCreateLab4Profile(nullptr));
    return Save(lab.get());
}

Bytes DeviceLinkBetween(const Bytes& from, cmsUInt32Number fromFormat, const Bytes& to,
                        cmsUInt32Number toFormat, cmsUInt32Number intent) {
    const ProfilePtr a = Open(from);
    const ProfilePtr b = Open(to);
    TransformPtr transform(cmsCreateTransform(a.get(), fromFormat, b.get(), toFormat, intent, 0));
    ProfilePtr link(cmsTransform2DeviceLink(transform.get(), 4.3, 0));
    return Save(link.get());
}

Bytes PixelGrid(int channels, int steps) {
    Bytes pixels;
    int combinations = 1;
    for (int c = 0; c < channels; ++c) {
        combinations *= steps;
    }
    for (int index = 0; index < combinations; ++index) {
        int rest = index;
        for (int c = 0; c < channels; ++c) {
            pixels.push_back(static_cast<unsigned char>((rest % steps) * 255 / (steps - 1)));
            rest /= steps;
        }
    }
    const Bytes noise = Noise(256 * static_cast<std::size_t>(channels), 7);
    pixels.insert(pixels.end(), noise.begin(), noise.end());
    return pixels;
}

cmsUInt32Number GetBig32(const Bytes& bytes, std::size_t at) {
    return (cmsUInt32Number(bytes[at]) << 24) | (cmsUInt32Number(bytes[at + 1]) << 16) |
           (cmsUInt32Number(bytes[at + 2]) << 8) | cmsUInt32Number(bytes[at + 3]);
}

void PutBig32(Bytes& bytes, std::size_t at, cmsUInt32Number value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }
}

std::size_t TagEntry(const Bytes& bytes, cmsTagSignature tag) {
    const cmsUInt32Number count = GetBig32(bytes, 128);
    for (std::size_t entry = 132; entry < 132 + 12 * std::size_t(count); entry += 12) {
        if (GetBig32(bytes, entry) == static_cast<cmsUInt32Number>(tag)) {
            return entry;
        }
    }
    return 0;
}

int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) {
        return 256;
    }
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    }
    return largest;
}

int PixelTolerance() {
    return SystemIsReal() ? 16 : 0;
}
