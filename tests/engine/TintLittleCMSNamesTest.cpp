// What the LittleCMS engine reads from profile headers and colorant tables.
#include <gtest/gtest.h>

#include "EngineFixtures.h"

namespace {

using Strings = std::vector<std::string>;

Strings Names(const TintProfile& profile, unsigned int count) {
    Strings names;
    for (unsigned int i = 0; i < count; ++i) {
        names.push_back(profile.GetColorantName(i));
    }
    return names;
}

}  // namespace

TEST(LittleCMSHeaders, ColourSpacesFollowTheFixedNumbering) {
    struct Case {
        cmsColorSpaceSignature signature;
        TintColorSpace space;
        int channels;
    };
    const Case cases[] = {
        {cmsSigXYZData, TintCS_XYZ, 3},        {cmsSigLabData, TintCS_Lab, 3},
        {cmsSigRgbData, TintCS_RGB, 3},        {cmsSigGrayData, TintCS_Gray, 1},
        {cmsSigCmykData, TintCS_CMYK, 4},      {cmsSig3colorData, TintCS_3CLR, 3},
        {cmsSig5colorData, TintCS_5CLR, 5},    {cmsSig4colorData, TintCS_4CLR, 4},
        {cmsSig6colorData, TintCS_6CLR, 6},    {cmsSig7colorData, TintCS_7CLR, 7},
        {cmsSig8colorData, TintCS_8CLR, 8},    {cmsSigMCH6Data, TintCS_Unknown, 0},
        {cmsSig2colorData, TintCS_Unknown, 0}, {cmsColorSpaceSignature(0), TintCS_Unknown, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<unsigned int>(c.signature));
        const TintProfile profile =
            OpenProfile(HeaderOnlyProfile(cmsSigOutputClass, c.signature, cmsSigLabData, 2.1));
        EXPECT_EQ(profile.GetColorSpace(), c.space);
        EXPECT_EQ(profile.GetNumberOfChannels(), c.channels);
        // Device links: input from the colour-space field, output from the PCS.
        const TintDLProfile in =
            OpenDL(HeaderOnlyProfile(cmsSigLinkClass, c.signature, cmsSigRgbData, 2.1));
        const TintDLProfile out =
            OpenDL(HeaderOnlyProfile(cmsSigLinkClass, cmsSigRgbData, c.signature, 2.1));
        EXPECT_EQ(in.GetInputColorSpace(), c.space);
        EXPECT_EQ(in.GetNumberOfInputChannels(), c.channels);
        EXPECT_EQ(out.GetOutputColorSpace(), c.space);
        EXPECT_EQ(out.GetNumberOfOutputChannels(), c.channels);
    }
}

TEST(LittleCMSColorantNames, VersionTwoProfilesWithoutTableUseTheSpaceNames) {
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
    const Bytes rgb = GhostscriptProfile("srgb.icc");
    const Bytes gray = GhostscriptProfile("sgray.icc");
    if (cmyk.empty() || rgb.empty() || gray.empty()) {
        GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
    }
    EXPECT_EQ(Names(OpenProfile(cmyk), 5),
              (Strings{"Cyan", "Magenta", "Yellow", "Black", "INVALID"}));
    EXPECT_EQ(Names(OpenProfile(rgb), 4), (Strings{"Red", "Green", "Blue", "INVALID"}));
    EXPECT_EQ(Names(OpenProfile(gray), 2), (Strings{"Gray", "INVALID"}));
    EXPECT_EQ(Names(OpenProfile(
                        HeaderOnlyProfile(cmsSigAbstractClass, cmsSigXYZData, cmsSigXYZData, 2.4)),
                    3),
              (Strings{"X", "Y", "Z"}));

    const TintDLProfile link =
        OpenDL(HeaderOnlyProfile(cmsSigLinkClass, cmsSigCmykData, cmsSigLabData, 2.1));
    EXPECT_EQ(link.GetInputColorantName(3), "Black");
    EXPECT_EQ(link.GetOutputColorantName(2), "b");
    EXPECT_EQ(link.GetOutputColorantName(3), "INVALID");
}

TEST(LittleCMSColorantNames, WithoutTableOtherVersionsAndSpacesHaveNoNames) {
    const Bytes v4 = HeaderOnlyProfile(cmsSigOutputClass, cmsSigCmykData, cmsSigLabData, 4.3);
    EXPECT_EQ(ThrownMessage([&] { OpenProfile(v4).GetColorantName(0); }),
              "unable to get colorant names");
    const Bytes debianV4 = GhostscriptProfile("ps_cmyk.icc");
    if (!debianV4.empty()) {
        EXPECT_EQ(ThrownMessage([&] { OpenProfile(debianV4).GetColorantName(0); }),
                  "unable to get colorant names");
    }
    const Bytes sixColour =
        HeaderOnlyProfile(cmsSigOutputClass, cmsSig6colorData, cmsSigLabData, 2.1);
    EXPECT_EQ(ThrownMessage([&] { OpenProfile(sixColour).GetColorantName(0); }),
              "unable to get colorant names");
    const TintDLProfile fourColour =
        OpenDL(HeaderOnlyProfile(cmsSigLinkClass, cmsSigCmykData, cmsSig4colorData, 2.1));
    EXPECT_EQ(ThrownMessage([&] { fourColour.GetOutputColorantName(0); }),
              "unable to get colorant names");
}

TEST(LittleCMSColorantNames, ColorantTablesNameTheChannelsOfAnyVersionAndSpace) {
    const ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSig6colorData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsSetProfileVersion(profile.get(), 4.3);
    const Strings inks{"Cyan",  "Magenta", "Yellow",
                       "Black", "Orange",  "A name of 31 characters......."};
    AddColorantTable(profile.get(), cmsSigColorantTableTag, inks);
    const Bytes bytes = Save(profile.get());

    Strings expected = inks;
    expected.push_back("INVALID");
    EXPECT_EQ(Names(OpenProfile(bytes), 7), expected);
    EXPECT_EQ(OpenProfile(bytes).GetColorantName(100000), "INVALID");
    Bytes damaged = bytes;
    ASSERT_TRUE(DamageTag(damaged, cmsSigColorantTableTag));
    EXPECT_EQ(ThrownMessage([&] { OpenProfile(damaged).GetColorantName(0); }),
              "numberOfColournts could not be found");

    ProfilePtr link = ClutDeviceLink(cmsSigCmykData, cmsSig6colorData);
    AddColorantTable(link.get(), cmsSigColorantTableTag, {"In C", "In M", "In Y", "In K"});
    AddColorantTable(link.get(), cmsSigColorantTableOutTag, {"O1", "O2", "O3", "O4", "O5", "O6"});
    const Bytes linkBytes = Save(link.get());
    const TintDLProfile dl = OpenDL(linkBytes);
    EXPECT_EQ(dl.GetInputColorantName(0), "In C");
    EXPECT_EQ(dl.GetInputColorantName(4), "INVALID");
    EXPECT_EQ(dl.GetOutputColorantName(5), "O6");
    for (cmsTagSignature tag : {cmsSigColorantTableTag, cmsSigColorantTableOutTag}) {
        Bytes broken = linkBytes;
        ASSERT_TRUE(DamageTag(broken, tag));
        const TintDLProfile brokenLink = OpenDL(broken);
        EXPECT_EQ(ThrownMessage([&] {
                      tag == cmsSigColorantTableTag ? brokenLink.GetInputColorantName(0)
                                                    : brokenLink.GetOutputColorantName(0);
                  }),
                  "name of colorants could not be found");
    }
}
