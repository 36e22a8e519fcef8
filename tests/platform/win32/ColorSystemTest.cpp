// The colour-system stand-in: bitmap byte orders against LittleCMS, rows
// and strides, handles, headers and tags, colour records and PostScript.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "host/win32_icm.h"
#include "platform/win32/Win32StandIn.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Ghostscript(const char* name) {
    std::ifstream in(std::string("/usr/share/color/icc/ghostscript/") + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HPROFILE OpenBytes(const Bytes& bytes) {
    PROFILE profile{PROFILE_MEMBUFFER, const_cast<unsigned char*>(bytes.data()),
                    static_cast<DWORD>(bytes.size())};
    return OpenColorProfileA(&profile, PROFILE_READ, 0, OPEN_EXISTING);
}

struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using LittleTransform = std::unique_ptr<void, TransformDeleter>;
struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using LittleProfile = std::unique_ptr<void, ProfileCloser>;

LittleProfile Little(const Bytes& bytes) {
    return LittleProfile(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

class ColorSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        RdzWin32Reset();
        if (srgb.empty() || cmyk.empty()) {
            GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
        }
        rgbProfile = OpenBytes(srgb);
        cmykProfile = OpenBytes(cmyk);
        HPROFILE chain[] = {rgbProfile, cmykProfile};
        DWORD intent = INTENT_PERCEPTUAL;
        transform = CreateMultiProfileTransform(chain, 2, &intent, 1, BEST_MODE, INDEX_DONT_CARE);
        ASSERT_NE(transform, nullptr);
    }
    void TearDown() override {
        DeleteColorTransform(transform);
        CloseColorProfile(rgbProfile);
        CloseColorProfile(cmykProfile);
        EXPECT_EQ(RdzWin32OpenHandleCount(), 0u);
        RdzWin32Reset();
    }

    // LittleCMS's own RGB to CMYK transform, perceptual, in these formats.
    Bytes Reference(cmsUInt32Number in, cmsUInt32Number out, const Bytes& input, std::size_t pixels,
                    std::size_t outBytes) const {
        const LittleProfile a = Little(srgb);
        const LittleProfile b = Little(cmyk);
        LittleTransform t(cmsCreateTransform(a.get(), in, b.get(), out, 0, 0));
        Bytes output(pixels * outBytes, 0);
        cmsDoTransform(t.get(), input.data(), output.data(), static_cast<cmsUInt32Number>(pixels));
        return output;
    }

    const Bytes srgb = Ghostscript("srgb.icc");
    const Bytes cmyk = Ghostscript("default_cmyk.icc");
    HPROFILE rgbProfile = nullptr;
    HPROFILE cmykProfile = nullptr;
    HTRANSFORM transform = nullptr;
};

BOOL WINAPI StopAfterFirstRow(ULONG done, ULONG, LPARAM rows) {
    *reinterpret_cast<ULONG*>(rows) = done;
    return FALSE;
}

}  // namespace

TEST_F(ColorSystem, FormatNamesReadAsPackedValuesSoMemoryIsReversed) {
    const Bytes rgb = {200, 10, 30, 0, 128, 255, 90, 90, 90};  // three pixels, R G B
    const Bytes bgr = {30, 10, 200, 255, 128, 0, 90, 90, 90};  // the same, B G R
    Bytes out(12);

    ASSERT_TRUE(TranslateBitmapBits(transform, const_cast<unsigned char*>(bgr.data()),
                                    BM_RGBTRIPLETS, 3, 1, 0, out.data(), BM_KYMCQUADS, 0, nullptr,
                                    0));
    EXPECT_EQ(out, Reference(TYPE_RGB_8, TYPE_CMYK_8, rgb, 3, 4));
    ASSERT_TRUE(TranslateBitmapBits(transform, const_cast<unsigned char*>(rgb.data()),
                                    BM_BGRTRIPLETS, 3, 1, 0, out.data(), BM_CMYKQUADS, 0, nullptr,
                                    0));
    EXPECT_EQ(out, Reference(TYPE_RGB_8, TYPE_KYMC_8, rgb, 3, 4));

    // xRGB quads: blue, green, red, then a padding byte, left alone on output.
    const Bytes quads = {30, 10, 200, 7, 255, 128, 0, 7, 90, 90, 90, 7};
    ASSERT_TRUE(TranslateBitmapBits(transform, const_cast<unsigned char*>(quads.data()),
                                    BM_xRGBQUADS, 3, 1, 0, out.data(), BM_KYMCQUADS, 0, nullptr,
                                    0));
    EXPECT_EQ(out, Reference(TYPE_RGB_8, TYPE_CMYK_8, rgb, 3, 4));

    HPROFILE self[] = {rgbProfile, rgbProfile};
    DWORD intent = INTENT_PERCEPTUAL;
    HTRANSFORM rgbToRgb = CreateMultiProfileTransform(self, 2, &intent, 1, BEST_MODE, 0);
    ASSERT_NE(rgbToRgb, nullptr);
    Bytes padded(12, 0x55);
    ASSERT_TRUE(TranslateBitmapBits(rgbToRgb, const_cast<unsigned char*>(rgb.data()),
                                    BM_BGRTRIPLETS, 3, 1, 0, padded.data(), BM_xBGRQUADS, 0,
                                    nullptr, 0));
    EXPECT_EQ(padded[3], 0x55);
    EXPECT_EQ(padded[7], 0x55);
    EXPECT_EQ(padded[11], 0x55);
    EXPECT_NEAR(padded[0], 200, 1);  // red first in memory
    DeleteColorTransform(rgbToRgb);
}

TEST_F(ColorSystem, StrideZeroPadsRowsToFourBytesAndCallbacksCanCancel) {
    // Two rows of three RGB pixels: 9 bytes each, padded to 12.
    Bytes in(24, 0);
    for (std::size_t i = 0; i < 9; ++i) {
        in[i] = static_cast<unsigned char>(20 * i);
        in[12 + i] = static_cast<unsigned char>(255 - 20 * i);
    }
    Bytes out(24, 0xAA);
    ASSERT_TRUE(TranslateBitmapBits(transform, in.data(), BM_BGRTRIPLETS, 3, 2, 0, out.data(),
                                    BM_KYMCQUADS, 0, nullptr, 0));
    const Bytes second(in.begin() + 12, in.begin() + 21);
    EXPECT_EQ(Bytes(out.begin() + 12, out.end()), Reference(TYPE_RGB_8, TYPE_CMYK_8, second, 3, 4));

    ULONG rows = 0;
    EXPECT_FALSE(TranslateBitmapBits(transform, in.data(), BM_BGRTRIPLETS, 3, 2, 0, out.data(),
                                     BM_KYMCQUADS, 0, StopAfterFirstRow,
                                     reinterpret_cast<LPARAM>(&rows)));
    EXPECT_EQ(GetLastError(), ERROR_CANCELLED);
    EXPECT_EQ(rows, 1u);
    EXPECT_FALSE(TranslateBitmapBits(transform, in.data(), BM_BGRTRIPLETS, 3, 1, 5, out.data(),
                                     BM_KYMCQUADS, 0, nullptr, 0));  // stride shorter than a row
}

TEST_F(ColorSystem, FormatsMustFitTheTransformsColourSpaces) {
    Bytes in(8, 0);
    Bytes out(8, 0);
    EXPECT_FALSE(TranslateBitmapBits(transform, in.data(), BM_KYMCQUADS, 1, 1, 0, out.data(),
                                     BM_KYMCQUADS, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_COLORSPACE_MISMATCH);
    EXPECT_FALSE(TranslateBitmapBits(transform, in.data(), BM_x555RGB, 1, 1, 0, out.data(),
                                     BM_KYMCQUADS, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST_F(ColorSystem, TransformsOutliveTheirProfileHandlesAndHandlesAreChecked) {
    HPROFILE chain[] = {OpenBytes(srgb), OpenBytes(cmyk)};
    DWORD intents[] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
    HTRANSFORM own = CreateMultiProfileTransform(chain, 2, intents, 2, BEST_MODE, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(CloseColorProfile(chain[0]));
    EXPECT_TRUE(CloseColorProfile(chain[1]));
    EXPECT_FALSE(CloseColorProfile(chain[1]));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    const Bytes in = {10, 20, 30};
    Bytes out(4);
    ASSERT_TRUE(TranslateBitmapBits(own, const_cast<unsigned char*>(in.data()), BM_BGRTRIPLETS, 1,
                                    1, 0, out.data(), BM_KYMCQUADS, 0, nullptr, 0));
    EXPECT_EQ(out, Reference(TYPE_RGB_8, TYPE_CMYK_8, in, 1, 4));
    EXPECT_TRUE(DeleteColorTransform(own));
    EXPECT_FALSE(TranslateBitmapBits(own, const_cast<unsigned char*>(in.data()), BM_BGRTRIPLETS, 1,
                                     1, 0, out.data(), BM_KYMCQUADS, 0, nullptr, 0));

    DWORD invalid = 20;
    EXPECT_EQ(CreateMultiProfileTransform(chain, 2, &invalid, 1, BEST_MODE, 0), nullptr);
    HPROFILE live[] = {rgbProfile, cmykProfile};
    EXPECT_EQ(CreateMultiProfileTransform(live, 2, &invalid, 1, BEST_MODE, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateMultiProfileTransform(live, 2, intents, 3, BEST_MODE, 0), nullptr);
}

TEST_F(ColorSystem, HeaderNumbersInHostOrderAndTagsAsStored) {
    PROFILEHEADER header{};
    ASSERT_TRUE(GetColorProfileHeader(cmykProfile, &header));
    EXPECT_EQ(header.phSize, cmyk.size());
    EXPECT_EQ(header.phDataColorSpace, SPACE_CMYK);
    EXPECT_EQ(header.phConnectionSpace, SPACE_Lab);
    EXPECT_EQ(header.phClass, 0x70727472u);  // 'prtr'

    DWORD size = 0;
    BOOL shared = TRUE;
    // The size query gives the size with FALSE, as the system's does.
    EXPECT_FALSE(
        GetColorProfileElement(rgbProfile, 0x77747074, 0, &size, nullptr, &shared));  // 'wtpt'
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 20u);
    Bytes tag(size);
    DWORD read = 8;
    ASSERT_TRUE(GetColorProfileElement(rgbProfile, 0x77747074, 4, &read, tag.data(), &shared));
    EXPECT_EQ(read, 8u);
    EXPECT_EQ(Bytes(tag.begin(), tag.begin() + 4), (Bytes{0, 0, 0, 0}));  // reserved field

    EXPECT_FALSE(GetColorProfileElement(rgbProfile, 0x636C7274, 0, &size, nullptr, &shared));
    EXPECT_EQ(GetLastError(), ERROR_TAG_NOT_FOUND);
}

TEST_F(ColorSystem, ColourRecordsMatchLittleCMSInSixteenBits) {
    COLOR in[2] = {};
    in[0].rgb = RGBCOLOR{0, 32768, 65535};
    in[1].rgb = RGBCOLOR{1000, 2000, 60000};
    COLOR out[2];
    ASSERT_TRUE(TranslateColors(transform, in, 2, COLOR_RGB, out, COLOR_CMYK));

    const LittleProfile a = Little(srgb);
    const LittleProfile b = Little(cmyk);
    LittleTransform t(cmsCreateTransform(a.get(), TYPE_RGB_16, b.get(), TYPE_CMYK_16, 0, 0));
    const cmsUInt16Number words[6] = {0, 32768, 65535, 1000, 2000, 60000};
    cmsUInt16Number expected[8];
    cmsDoTransform(t.get(), words, expected, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(out[i].cmyk.cyan, expected[4 * i]);
        EXPECT_EQ(out[i].cmyk.black, expected[4 * i + 3]);
    }
    EXPECT_FALSE(TranslateColors(transform, in, 2, COLOR_NAMED, out, COLOR_CMYK));
    EXPECT_FALSE(TranslateColors(transform, in, 2, COLOR_CMYK, out, COLOR_CMYK));
}

TEST_F(ColorSystem, LabRecordsSpanZeroToHundredAndMinus128To128) {
    const Bytes lab = [] {
        LittleProfile p(cmsCreateLab4Profile(nullptr));
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(p.get(), nullptr, &size);
        Bytes bytes(size);
        cmsSaveProfileToMem(p.get(), bytes.data(), &size);
        return bytes;
    }();
    HPROFILE chain[] = {OpenBytes(lab)};
    DWORD intent = INTENT_PERCEPTUAL;
    HTRANSFORM identity = CreateMultiProfileTransform(chain, 1, &intent, 1, BEST_MODE, 0);
    ASSERT_NE(identity, nullptr);
    COLOR in{};
    in.Lab = LabCOLOR{65535, 0, 32768};  // L 100, a -128, b about 0
    COLOR out{};
    ASSERT_TRUE(TranslateColors(identity, &in, 1, COLOR_Lab, &out, COLOR_Lab));
    EXPECT_NEAR(out.Lab.L, 65535, 1);
    EXPECT_NEAR(out.Lab.a, 0, 1);
    EXPECT_NEAR(out.Lab.b, 32768, 300);  // LittleCMS's 8.8 encoding rounds b
    DeleteColorTransform(identity);
    CloseColorProfile(chain[0]);
}

TEST_F(ColorSystem, PostScriptSizeQueryThenFill) {
    DWORD size = 0;
    BOOL binary = TRUE;
    ASSERT_TRUE(GetPS2ColorSpaceArray(rgbProfile, 0, CSA_RGB, nullptr, &size, &binary));
    ASSERT_GT(size, 0u);
    Bytes text(size);
    DWORD small = size - 1;
    EXPECT_FALSE(GetPS2ColorSpaceArray(rgbProfile, 0, CSA_RGB, text.data(), &small, &binary));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    DWORD filled = size;
    ASSERT_TRUE(GetPS2ColorSpaceArray(rgbProfile, 0, CSA_RGB, text.data(), &filled, &binary));
    EXPECT_EQ(filled, size);
    EXPECT_FALSE(binary);
    EXPECT_FALSE(GetPS2ColorSpaceArray(rgbProfile, 0, CSA_CMYK, nullptr, &size, &binary));
    EXPECT_FALSE(GetPS2ColorRenderingDictionary(cmykProfile, 20, nullptr, &size, &binary));
}

TEST(ColorSystemCMM, OnlyTheKnownCMMsAreSelected) {
    RdzWin32Reset();
    EXPECT_EQ(RdzWin32SelectedCMM(), 0x57696E20u);
    EXPECT_TRUE(SelectCMM(0x41444245));
    EXPECT_FALSE(SelectCMM(0x6C636D73));  // 'lcms'
    EXPECT_EQ(GetLastError(), ERROR_INVALID_CMM);
    RdzWin32SetSelectCMMFails(true);
    EXPECT_FALSE(SelectCMM(0x57696E20));
    EXPECT_EQ(RdzWin32SelectedCMM(), 0x41444245u);
    RdzWin32Reset();
}
