#include "platform/win32/ColorRecords.h"

#include <cmath>
#include <cstring>

namespace rdz_win32 {

namespace {

constexpr double kLabABRange = 255.996;

// 16-bit channels of one record type, in record order.
unsigned int WordChannels(COLORTYPE type) {
    switch (type) {
        case COLOR_GRAY:
            return 1;
        case COLOR_RGB:
        case COLOR_XYZ:
        case COLOR_Yxy:
        case COLOR_Lab:
        case COLOR_3_CHANNEL:
            return 3;
        case COLOR_CMYK:
            return 4;
        default:
            return 0;
    }
}

unsigned int ByteChannels(COLORTYPE type) {
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

void ReadWords(COLORTYPE type, const COLOR& color, WORD* words) {
    switch (type) {
        case COLOR_GRAY:
            words[0] = color.gray.gray;
            break;
        case COLOR_RGB:
            words[0] = color.rgb.red;
            words[1] = color.rgb.green;
            words[2] = color.rgb.blue;
            break;
        case COLOR_XYZ:
            words[0] = color.XYZ.X;
            words[1] = color.XYZ.Y;
            words[2] = color.XYZ.Z;
            break;
        case COLOR_Yxy:
            words[0] = color.Yxy.Y;
            words[1] = color.Yxy.x;
            words[2] = color.Yxy.y;
            break;
        case COLOR_Lab:
            words[0] = color.Lab.L;
            words[1] = color.Lab.a;
            words[2] = color.Lab.b;
            break;
        case COLOR_3_CHANNEL:
            words[0] = color.gen3ch.ch1;
            words[1] = color.gen3ch.ch2;
            words[2] = color.gen3ch.ch3;
            break;
        case COLOR_CMYK:
            words[0] = color.cmyk.cyan;
            words[1] = color.cmyk.magenta;
            words[2] = color.cmyk.yellow;
            words[3] = color.cmyk.black;
            break;
        default:
            break;
    }
}

void WriteWords(COLORTYPE type, const WORD* words, COLOR& color) {
    switch (type) {
        case COLOR_GRAY:
            color.gray.gray = words[0];
            break;
        case COLOR_RGB:
            color.rgb = RGBCOLOR{words[0], words[1], words[2]};
            break;
        case COLOR_XYZ:
            color.XYZ = XYZCOLOR{words[0], words[1], words[2]};
            break;
        case COLOR_Yxy:
            color.Yxy = YxyCOLOR{words[0], words[1], words[2]};
            break;
        case COLOR_Lab:
            color.Lab = LabCOLOR{words[0], words[1], words[2]};
            break;
        case COLOR_3_CHANNEL:
            color.gen3ch = GENERIC3CHANNEL{words[0], words[1], words[2]};
            break;
        case COLOR_CMYK:
            color.cmyk = CMYKCOLOR{words[0], words[1], words[2], words[3]};
            break;
        default:
            break;
    }
}

WORD ToWord(double value) {
    if (!(value > 0.0)) {
        return 0;
    }
    return value >= 65535.0 ? WORD(65535) : static_cast<WORD>(value + 0.5);
}

// Record Lab words <-> LittleCMS's 16-bit Lab encoding.
void RecordLabToLittleCMS(WORD* words) {
    cmsCIELab lab;
    lab.L = words[0] * 100.0 / 65535.0;
    lab.a = words[1] * kLabABRange / 65535.0 - 128.0;
    lab.b = words[2] * kLabABRange / 65535.0 - 128.0;
    cmsFloat2LabEncoded(words, &lab);
}

void LittleCMSLabToRecord(WORD* words) {
    cmsCIELab lab;
    cmsLabEncoded2Float(&lab, words);
    words[0] = ToWord(lab.L * 65535.0 / 100.0);
    words[1] = ToWord((lab.a + 128.0) * 65535.0 / kLabABRange);
    words[2] = ToWord((lab.b + 128.0) * 65535.0 / kLabABRange);
}

}  // namespace

bool LookUpRecordFormat(COLORTYPE type, cmsUInt32Number& format, unsigned int& bytesPerColor) {
    const unsigned int words = WordChannels(type);
    const unsigned int bytes = ByteChannels(type);
    switch (type) {
        case COLOR_GRAY:
            format = TYPE_GRAY_16;
            break;
        case COLOR_RGB:
            format = TYPE_RGB_16;
            break;
        case COLOR_XYZ:
            format = TYPE_XYZ_16;
            break;
        case COLOR_Yxy:
            format = TYPE_Yxy_16;
            break;
        case COLOR_Lab:
            format = TYPE_Lab_16;
            break;
        case COLOR_3_CHANNEL:
            format = COLORSPACE_SH(PT_MCH3) | CHANNELS_SH(3) | BYTES_SH(2);
            break;
        case COLOR_CMYK:
            format = TYPE_CMYK_16;
            break;
        case COLOR_5_CHANNEL:
        case COLOR_6_CHANNEL:
        case COLOR_7_CHANNEL:
        case COLOR_8_CHANNEL:
            format = COLORSPACE_SH(PT_MCH5 + (bytes - 5)) | CHANNELS_SH(bytes) | BYTES_SH(1);
            break;
        default:
            return false;
    }
    bytesPerColor = words != 0 ? words * 2 : bytes;
    return true;
}

void GatherRecords(COLORTYPE type, const COLOR* colors, std::size_t count,
                   std::vector<BYTE>& samples) {
    const unsigned int words = WordChannels(type);
    const unsigned int bytes = ByteChannels(type);
    if (words != 0) {
        samples.assign(count * words * sizeof(WORD), 0);
        for (std::size_t i = 0; i < count; ++i) {
            WORD channel[4] = {};
            ReadWords(type, colors[i], channel);
            if (type == COLOR_Lab) {
                RecordLabToLittleCMS(channel);
            }
            std::memcpy(&samples[i * words * sizeof(WORD)], channel, words * sizeof(WORD));
        }
        return;
    }
    samples.assign(count * bytes, 0);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(&samples[i * bytes], colors[i].hifi.channel, bytes);
    }
}

void ScatterRecords(COLORTYPE type, const std::vector<BYTE>& samples, std::size_t count,
                    COLOR* colors) {
    const unsigned int words = WordChannels(type);
    const unsigned int bytes = ByteChannels(type);
    for (std::size_t i = 0; i < count; ++i) {
        COLOR color;
        std::memset(&color, 0, sizeof(color));
        if (words != 0) {
            WORD channel[4] = {};
            std::memcpy(channel, &samples[i * words * sizeof(WORD)], words * sizeof(WORD));
            if (type == COLOR_Lab) {
                LittleCMSLabToRecord(channel);
            }
            WriteWords(type, channel, color);
        } else {
            std::memcpy(color.hifi.channel, &samples[i * bytes], bytes);
        }
        colors[i] = color;
    }
}

}  // namespace rdz_win32
