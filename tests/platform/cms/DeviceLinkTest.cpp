// Colour-space device links between two processes, and transforms that apply
// them, checked against LittleCMS applied directly.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "tests/platform/cms/LinkTestSupport.h"

using namespace cmstest;

namespace {

std::vector<unsigned char> DirectLittleCms(int intent, bool bpc,
                                           const std::vector<unsigned char>& in) {
    rdz::cms::ProfileHandle src = OpenProfileFile(DefaultCmyk());
    rdz::cms::ProfileHandle dst = OpenProfileFile(PsCmyk());
    rdz::cms::TransformHandle t(cmsCreateTransform(
        src.get(), TYPE_CMYK_8, dst.get(), TYPE_CMYK_8, static_cast<cmsUInt32Number>(intent),
        cmsFLAGS_NOCACHE | (bpc ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0)));
    std::vector<unsigned char> out(in.size());
    cmsDoTransform(t.get(), in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 4));
    return out;
}

std::shared_ptr<TProcLink> ColourSpaceLink(const TCMS::ProcLinkPar& par) {
    return TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                            Process("ps_cmyk.icc"), par);
}

}  // namespace

TEST(CmsDeviceLink, ColourSpaceLinkGivesTheBytesOfDirectLittleCms) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    const std::vector<unsigned char> pixels = RandomCmyk(10000, 17);
    const struct {
        TCMS::RenderingIntent intent;
        bool bpc;
    } cases[] = {{TCMS::RelativeColorimetric, false},
                 {TCMS::Perceptual, true},
                 {TCMS::AbsoluteColorimetric, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "intent " << c.intent << " bpc " << c.bpc);
        const auto link = ColourSpaceLink(ColourSpacePar(c.intent, c.bpc));
        const std::string name = "space" + std::to_string(c.intent);
        Store(link, name);
        const auto transform = LinkTransform(name);
        ASSERT_TRUE(transform != nullptr);
        const std::vector<unsigned char> expected = DirectLittleCms(c.intent - 2, c.bpc, pixels);
        EXPECT_LE(MaxDifference(expected, ConvertRow(transform, pixels, 4)), 2);
        // The stored file is an ICC device link that LittleCMS applies alike.
        EXPECT_LE(MaxDifference(expected,
                                ApplyIccLink(folder.LinkFolder() + "/" + name + ".icc", pixels)),
                  2);
    }
}

TEST(CmsDeviceLink, StoredProfileNamesItsChannelsAndCarriesTheRecord) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    TCMS::ProcLinkPar par = ColourSpacePar(TCMS::Saturation, false);
    par.string0x6C = "Press A to press B";
    Store(ColourSpaceLink(par), "named");

    rdz::cms::ProfileHandle link = OpenProfileFile(folder.LinkFolder() + "/named.icc");
    ASSERT_TRUE(link != nullptr);
    EXPECT_EQ(cmsSigLinkClass, cmsGetDeviceClass(link.get()));
    EXPECT_EQ(cmsSigCmykData, cmsGetColorSpace(link.get()));
    EXPECT_EQ(cmsSigCmykData, cmsGetPCS(link.get()));
    EXPECT_EQ(static_cast<cmsUInt32Number>(INTENT_SATURATION),
              cmsGetHeaderRenderingIntent(link.get()));
    char text[64] = {0};
    cmsGetProfileInfoASCII(link.get(), cmsInfoDescription, "en", "US", text, sizeof text);
    EXPECT_STREQ("Press A to press B", text);
    const auto* names =
        static_cast<const cmsNAMEDCOLORLIST*>(cmsReadTag(link.get(), cmsSigColorantTableOutTag));
    ASSERT_TRUE(names != nullptr);
    ASSERT_EQ(4u, cmsNamedColorCount(names));
    char name[cmsMAX_PATH] = {0};
    cmsNamedColorInfo(names, 3, name, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ("Black", name);

    std::ifstream json(folder.LinkFolder() + "/named.json");
    const std::string record((std::istreambuf_iterator<char>(json)),
                             std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, record.find("\"kind\": \"colour-space\""));
    EXPECT_NE(std::string::npos, record.find("\"renderingIntent\": 4"));
    EXPECT_NE(std::string::npos, record.find("\"string0x6C\": \"Press A to press B\""));
}

TEST(CmsDeviceLink, RequestsThatCannotBeLinkedGiveNoLink) {
    LinkDatabase folder;
    folder.AddProcess("srgb.icc", std::string(RDZ_GS_ICC_DIR) + "/srgb.icc");
    OpenDatabase db(folder.Folder());
    const auto good = ColourSpacePar(TCMS::RelativeColorimetric, false);
    EXPECT_TRUE(ColourSpaceLink(good) != nullptr);

    auto bad = good;
    bad.renderingIntent = static_cast<TCMS::RenderingIntent>(7);
    EXPECT_EQ(nullptr, ColourSpaceLink(bad));
    bad = good;
    bad.int0x18 = 200;  // output range other than 0..255
    EXPECT_EQ(nullptr, ColourSpaceLink(bad));
    bad = good;
    bad.int0x20 = 2;  // an ink-saving record
    EXPECT_EQ(nullptr, ColourSpaceLink(bad));
    EXPECT_EQ(nullptr,
              TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, nullptr, Process("ps_cmyk.icc"), good));
    EXPECT_EQ(nullptr, TCMS_ProcLinkNew(TCMS_GetLib(), "a/b", Process("default_cmyk.icc"),
                                        Process("ps_cmyk.icc"), good));
    // GCR needs a CMYK destination; an RGB one links without it.
    auto gcr = InkSavingPar(TCMS::BlackGenModeInkSaving, 0.2, 1.0, 0.0, 1.0);
    gcr.int0x20 = 3;
    EXPECT_EQ(nullptr, TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                                        Process("srgb.icc"), gcr));
    EXPECT_TRUE(TCMS_ProcLinkNew(TCMS_GetLib(), kProduct, Process("default_cmyk.icc"),
                                 Process("srgb.icc"), good) != nullptr);
    // Ink saving on a process that is not CMYK.
    EXPECT_EQ(nullptr,
              TCMS_ProcLinkGCRNew(TCMS_GetLib(), kProduct, Process("srgb.icc"),
                                  InkSavingPar(TCMS::BlackGenModeInkSaving, 0.2, 1, 0, 1)));
}

TEST(CmsDeviceLink, TransformOverALinkMatchesInputInksByNameAndMixesSpotInks) {
    LinkDatabase folder;
    OpenDatabase db(folder.Folder());
    auto par = ColourSpacePar(TCMS::RelativeColorimetric, false);
    par.int0x2C = 0;
    Store(ColourSpaceLink(par), "link");
    const TInkVector process = TCMS_ProcGetInks(Process("default_cmyk.icc"));
    const auto inOrder = LinkTransform("link");
    ASSERT_TRUE(inOrder != nullptr);

    const char* src = nullptr;
    const char* dst = nullptr;
    EXPECT_EQ(0, TCMS_ColTransfGetSrcDstProfileNames(inOrder, &src, &dst, true));
    EXPECT_STREQ("default_cmyk.icc", src);
    EXPECT_STREQ("ps_cmyk.icc", dst);
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(inOrder, false);
    ASSERT_EQ(4u, outputs.size());
    EXPECT_STREQ("Cyan", outputs[0].GetInkNamePtr());
    EXPECT_STREQ("Black", outputs[3].GetInkNamePtr());

    // Black, yellow, magenta, cyan: the same colours in another order.
    const auto reversed = LinkTransform("link", {process[3], process[2], process[1], process[0]});
    ASSERT_TRUE(reversed != nullptr);
    const std::vector<unsigned char> pixels = RandomCmyk(500, 9);
    std::vector<unsigned char> swapped(pixels.size());
    for (std::size_t p = 0; p < pixels.size(); p += 4) {
        for (int c = 0; c < 4; ++c)
            swapped[p + c] = pixels[p + 3 - c];
    }
    EXPECT_EQ(ConvertRow(inOrder, pixels, 4), ConvertRow(reversed, swapped, 4));
    const int flags[4] = {1, 0, 0, 0};
    EXPECT_EQ(1, TCMS_ColTransfSampleNeedsConvert(reversed, flags));

    // A spot ink alone on paper: its colour separated on the source and sent
    // through the link, as LittleCMS chains them.
    const auto orange = TIDB_GetColorInk(TCMS_GetLib(), "calibrator", {1.0, 0.5, 0.0}, 0.0,
                                         "Orange", nullptr, "Spots");
    ASSERT_TRUE(orange != nullptr);
    TInkVector withSpot = process;
    withSpot.push_back(orange);
    const auto spot = LinkTransform("link", withSpot);
    ASSERT_TRUE(spot != nullptr);
    const std::vector<unsigned char> out = ConvertRow(spot, {0, 0, 0, 0, 255}, 5);

    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::ProfileHandle source = OpenProfileFile(DefaultCmyk());
    rdz::cms::ProfileHandle link = OpenProfileFile(folder.LinkFolder() + "/link.icc");
    cmsHPROFILE chain[3] = {lab.get(), source.get(), link.get()};
    rdz::cms::TransformHandle expected(cmsCreateMultiprofileTransform(
        chain, 3, TYPE_Lab_DBL, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    ASSERT_TRUE(expected != nullptr);
    const std::array<double, 3> orangeLab = orange->Lab();
    const cmsCIELab colour{orangeLab[0], orangeLab[1], orangeLab[2]};
    std::vector<unsigned char> want(4);
    cmsDoTransform(expected.get(), &colour, want.data(), 1);
    EXPECT_LE(MaxDifference(want, out), 2);
}
