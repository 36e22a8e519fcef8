#include "platform/cms/OverprintModel.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

namespace rdz::cms {

namespace {
// Relative XYZ above this (brighter than the paper by half) is clamped: no
// ink mix gets there, and L* would exceed 100 long before.
constexpr float kMaxRatio = 1.5f;
constexpr int kTableSteps = 4096;

double LabF(double t) {
    constexpr double kEpsilon = 216.0 / 24389.0;
    constexpr double kKappa = 24389.0 / 27.0;
    return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}
}  // namespace

SpotInkTable MakeSpotInkTable(const std::array<double, 3>& lab, double opacity) {
    const cmsCIELab colour{lab[0], lab[1], lab[2]};
    cmsCIEXYZ xyz{};
    cmsLab2XYZ(cmsD50_XYZ(), &xyz, &colour);
    const cmsCIEXYZ* white = cmsD50_XYZ();
    const double r[3] = {xyz.X / white->X, xyz.Y / white->Y, xyz.Z / white->Z};
    const double o = std::clamp(opacity, 0.0, 1.0);

    SpotInkTable table;
    table.scale.resize(256);
    table.offset.resize(256);
    for (int tint = 0; tint < 256; ++tint) {
        const double t = tint / 255.0;
        for (int c = 0; c < 3; ++c) {
            const double filter = (1.0 - t) + t * r[c];
            table.scale[tint][c] = static_cast<float>((1.0 - o) * filter + o * (1.0 - t));
            table.offset[tint][c] = static_cast<float>(o * t * r[c]);
        }
    }
    return table;
}

void DecodeXYZ16(const std::uint16_t* xyz, float* relative) {
    // 1.15 fixed point: 0x8000 is 1.0.
    static const float scale[3] = {
        static_cast<float>(1.0 / (32768.0 * cmsD50_XYZ()->X)),
        static_cast<float>(1.0 / (32768.0 * cmsD50_XYZ()->Y)),
        static_cast<float>(1.0 / (32768.0 * cmsD50_XYZ()->Z)),
    };
    for (int c = 0; c < 3; ++c)
        relative[c] = xyz[c] * scale[c];
}

LabEncoder::LabEncoder() : table_(kTableSteps + 2) {
    for (int i = 0; i <= kTableSteps + 1; ++i) {
        table_[i] = static_cast<float>(LabF(static_cast<double>(i) * kMaxRatio / kTableSteps));
    }
}

float LabEncoder::F(float ratio) const {
    const float position = std::clamp(ratio, 0.0f, kMaxRatio) * (kTableSteps / kMaxRatio);
    const int index = static_cast<int>(position);
    const float fraction = position - static_cast<float>(index);
    return table_[index] + (table_[index + 1] - table_[index]) * fraction;
}

void LabEncoder::Encode(const float* relative, std::uint16_t* lab) const {
    const float fx = F(relative[0]);
    const float fy = F(relative[1]);
    const float fz = F(relative[2]);
    const float values[3] = {
        (116.0f * fy - 16.0f) * 655.35f,
        (500.0f * (fx - fy) + 128.0f) * 257.0f,
        (200.0f * (fy - fz) + 128.0f) * 257.0f,
    };
    for (int c = 0; c < 3; ++c) {
        lab[c] = static_cast<std::uint16_t>(std::clamp(values[c] + 0.5f, 0.0f, 65535.0f));
    }
}

}  // namespace rdz::cms
