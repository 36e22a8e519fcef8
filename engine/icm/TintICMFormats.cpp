#include "engine/icm/TintICMFormats.h"

#include <cstring>

namespace {

constexpr double kLabABRange = 255.996;

template <class Field>
Field Clamped(double value, double maximum) {
    // Written so that NaN lands on 0 as well.
    if (!(value > 0.0)) {
        return 0;
    }
    return value >= maximum ? static_cast<Field>(maximum) : static_cast<Field>(value);
}

WORD Word(double value, double scale) {
    return Clamped<WORD>(value * scale + 0.5, 65535.0);
}

WORD LabWord(double value, int channel) {
    return channel == 0 ? Word(value, 65535.0 / 100.0)
                        : Clamped<WORD>((value + 128.0) * 65535.0 / kLabABRange + 0.5, 65535.0);
}

double FromLabWord(WORD word, int channel) {
    return channel == 0 ? word / 65535.0 * 100.0 : word / 65535.0 * kLabABRange - 128.0;
}

int HiFiChannels(COLORTYPE type) {
    switch (type) {
        case COLOR_5_CHANNEL:
            return 5;
        case COLOR_6_CHANNEL:
            return 6;
        case COLOR_7_CHANNEL:
            return 7;
        case COLOR_8_CHANNEL:
            return 8;
        default:
            return 0;
    }
}

}  // namespace

bool TintICMBitmapFormat(TintColorSpace space, BMFORMAT& format, bool& exchange02) {
    exchange02 = false;
    switch (space) {
        case TintCS_XYZ:
            format = BM_XYZTRIPLETS;
            exchange02 = true;
            return true;
        case TintCS_Lab:
            format = BM_LabTRIPLETS;
            exchange02 = true;
            return true;
        case TintCS_RGB:
            format = BM_BGRTRIPLETS;
            return true;
        case TintCS_Gray:
            format = BM_GRAY;
            return true;
        case TintCS_CMYK:
            format = BM_KYMCQUADS;
            return true;
        case TintCS_5CLR:
            format = BM_5CHANNEL;
            return true;
        case TintCS_6CLR:
            format = BM_6CHANNEL;
            return true;
        case TintCS_7CLR:
            format = BM_7CHANNEL;
            return true;
        case TintCS_8CLR:
            format = BM_8CHANNEL;
            return true;
        default:
            return false;
    }
}

bool TintICMColorType(TintColorSpace space, COLORTYPE& type) {
    switch (space) {
        case TintCS_XYZ:
            type = COLOR_XYZ;
            return true;
        case TintCS_Lab:
            type = COLOR_Lab;
            return true;
        case TintCS_RGB:
            type = COLOR_RGB;
            return true;
        case TintCS_Gray:
            type = COLOR_GRAY;
            return true;
        case TintCS_CMYK:
            type = COLOR_CMYK;
            return true;
        case TintCS_3CLR:
            type = COLOR_3_CHANNEL;
            return true;
        case TintCS_5CLR:
            type = COLOR_5_CHANNEL;
            return true;
        case TintCS_6CLR:
            type = COLOR_6_CHANNEL;
            return true;
        case TintCS_7CLR:
            type = COLOR_7_CHANNEL;
            return true;
        case TintCS_8CLR:
            type = COLOR_8_CHANNEL;
            return true;
        default:
            return false;
    }
}

void TintICMEncodeColor(COLORTYPE type, const double* v, COLOR& color) {
    std::memset(&color, 0, sizeof(color));
    switch (type) {
        case COLOR_Lab:
            color.Lab = LabCOLOR{LabWord(v[0], 0), LabWord(v[1], 1), LabWord(v[2], 2)};
            return;
        case COLOR_RGB:
            color.rgb = RGBCOLOR{Word(v[0], 65535.0), Word(v[1], 65535.0), Word(v[2], 65535.0)};
            return;
        case COLOR_GRAY:
            color.gray.gray = Word(v[0], 65535.0);
            return;
        case COLOR_CMYK:
            color.cmyk = CMYKCOLOR{Word(v[0], 65535.0), Word(v[1], 65535.0), Word(v[2], 65535.0),
                                   Word(v[3], 65535.0)};
            return;
        case COLOR_XYZ:
            color.XYZ = XYZCOLOR{Word(v[0], 32768.0), Word(v[1], 32768.0), Word(v[2], 32768.0)};
            return;
        case COLOR_3_CHANNEL:
            color.gen3ch =
                GENERIC3CHANNEL{Word(v[0], 32768.0), Word(v[1], 32768.0), Word(v[2], 32768.0)};
            return;
        default:
            for (int i = 0; i < HiFiChannels(type); ++i) {
                color.hifi.channel[i] = Clamped<BYTE>(v[i] * 255.0 + 0.5, 255.0);
            }
            return;
    }
}

void TintICMDecodeColor(COLORTYPE type, const COLOR& color, double* v) {
    switch (type) {
        case COLOR_Lab:
            v[0] = FromLabWord(color.Lab.L, 0);
            v[1] = FromLabWord(color.Lab.a, 1);
            v[2] = FromLabWord(color.Lab.b, 2);
            return;
        case COLOR_RGB:
            v[0] = color.rgb.red / 65535.0;
            v[1] = color.rgb.green / 65535.0;
            v[2] = color.rgb.blue / 65535.0;
            return;
        case COLOR_GRAY:
            v[0] = color.gray.gray / 65535.0;
            return;
        case COLOR_CMYK:
            v[0] = color.cmyk.cyan / 65535.0;
            v[1] = color.cmyk.magenta / 65535.0;
            v[2] = color.cmyk.yellow / 65535.0;
            v[3] = color.cmyk.black / 65535.0;
            return;
        case COLOR_XYZ:
            v[0] = color.XYZ.X / 32768.0;
            v[1] = color.XYZ.Y / 32768.0;
            v[2] = color.XYZ.Z / 32768.0;
            return;
        case COLOR_3_CHANNEL:
            v[0] = color.gen3ch.ch1 / 32768.0;
            v[1] = color.gen3ch.ch2 / 32768.0;
            v[2] = color.gen3ch.ch3 / 32768.0;
            return;
        default:
            for (int i = 0; i < HiFiChannels(type); ++i) {
                v[i] = color.hifi.channel[i] / 255.0;
            }
            return;
    }
}
