// What the Windows colour engine accepts as a profile and reads from it:
// header, colorant names and PostScript.
#include <gtest/gtest.h>

#include <iterator>

#include "ICMFixtures.h"
#include "SystemControls.h"
#include "engine/icm/TintICMPostScript.h"

namespace {

class ICMProfiles : public ::testing::Test {
  protected:
    void SetUp() override {
        SystemReset();
        if (srgb.empty() || cmyk.empty()) {
            GTEST_SKIP() << "Debian's ghostscript profiles are not installed";
        }
    }
    void TearDown() override { SystemReset(); }

    const Bytes srgb = GhostscriptProfile("srgb.icc");
    const Bytes cmyk = GhostscriptProfile("default_cmyk.icc");
};

Bytes WithColorants(cmsColorSpaceSignature space, cmsTagSignature tag,
                    const std::vector<std::string>& names) {
    ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetDeviceClass(profile.get(), cmsSigLinkClass);
    cmsSetColorSpace(profile.get(), space);
    cmsSetPCS(profile.get(), space);
    AddColorantTable(profile.get(), tag, names);
    return Save(profile.get());
}

int Append(int length, const char* text, void* userData) {
    static_cast<std::string*>(userData)->append(text, static_cast<std::size_t>(length));
    return length;
}

int TakeLess(int length, const char*, void*) {
    return length - 1;
}

std::string LittleCMSArray(const Bytes& bytes) {
    const ProfilePtr profile = Open(bytes);
    const cmsUInt32Number size = cmsGetPostScriptCSA(nullptr, profile.get(), 0, 0, nullptr, 0);
    std::string text(size, '\0');
    cmsGetPostScriptCSA(nullptr, profile.get(), 0, 0, text.data(), size);
    return text;
}

}  // namespace

TEST_F(ICMProfiles, BytesTheColourSystemRefusesLeaveNoHandleOpen) {
    Bytes declaredTooLong = srgb;
    PutBig32(declaredTooLong, 0, static_cast<cmsUInt32Number>(srgb.size() + 100));
    const Bytes cases[] = {Noise(4096, 3), Bytes(srgb.begin(), srgb.begin() + 100),
                           declaredTooLong};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        // Noise and a cut profile are refused everywhere. A header claiming
        // more bytes than given is the system's call (Wine opens it); the
        // engine follows the system's verdict.
        const bool accepted = SystemAcceptsProfile(cases[i]);
        if (i < 2 || !SystemIsReal()) {
            EXPECT_FALSE(accepted);
        }
        const std::string expected = accepted ? "<no exception>" : "created profile is invalid";
        EXPECT_EQ(ThrownMessage([&] { OpenICM(cases[i]); }), expected);
        EXPECT_EQ(ThrownMessage([&] { OpenICMDL(cases[i]); }), expected);
    }
    EXPECT_EQ(SystemOpenHandleCount(), 0u);
}

TEST_F(ICMProfiles, AFailingValidityCheckDoesNotPassForValid) {
    SystemSetValidityCheckFails(true);
    EXPECT_EQ(ThrownMessage([&] { OpenICM(srgb); }), "created profile is invalid");
    EXPECT_EQ(SystemOpenHandleCount(), 0u);
    SystemSetValidityCheckFails(false);

    TintProfile profile = OpenICM(srgb);
    EXPECT_EQ(profile.GetEngineId(), kTintEngineIdICM);
    EXPECT_EQ(SystemOpenHandleCount(), 1u);
    profile = TintProfile();
    EXPECT_EQ(SystemOpenHandleCount(), 0u);
}

TEST_F(ICMProfiles, HeaderGivesSpacesChannelsAndIntent) {
    EXPECT_EQ(OpenICM(srgb).GetColorSpace(), TintCS_RGB);
    EXPECT_EQ(OpenICM(cmyk).GetNumberOfChannels(), 4);

    const TintDLProfile link =
        OpenICMDL(HeaderOnlyProfile(cmsSigLinkClass, cmsSig4colorData, cmsSigMCH6Data, 4.3));
    EXPECT_EQ(link.GetInputColorSpace(), TintCS_4CLR);
    EXPECT_EQ(link.GetNumberOfInputChannels(), 4);
    EXPECT_EQ(link.GetOutputColorSpace(), TintCS_Unknown);
    EXPECT_EQ(link.GetNumberOfOutputChannels(), 0);

    Bytes intent9 = HeaderOnlyProfile(cmsSigLinkClass, cmsSigCmykData, cmsSigCmykData, 4.3);
    PutBig32(intent9, 64, 9);
    EXPECT_EQ(OpenICMDL(intent9).GetRenderingIntent(), TintRI_InvalidInProfile);
    PutBig32(intent9, 64, 2);
    EXPECT_EQ(OpenICMDL(intent9).GetRenderingIntent(), TintRI_Saturation);
}

TEST_F(ICMProfiles, NamesWithoutTableComeFromTheSpaceWhateverTheVersion) {
    const TintProfile v2 = OpenICM(cmyk);
    const TintProfile v4 = OpenICM(GhostscriptProfile("ps_cmyk.icc"));
    for (const TintProfile* profile : {&v2, &v4}) {
        EXPECT_EQ(profile->GetColorantName(0), "Cyan");
        EXPECT_EQ(profile->GetColorantName(3), "Black");
        EXPECT_EQ(profile->GetColorantName(5), "");
    }
    EXPECT_EQ(OpenICM(srgb).GetColorantName(3), "");
    const TintProfile sixColour =
        OpenICM(HeaderOnlyProfile(cmsSigOutputClass, cmsSig6colorData, cmsSigLabData, 2.1));
    EXPECT_EQ(ThrownMessage([&] { sixColour.GetColorantName(0); }), "unable to get colorant names");
}

TEST_F(ICMProfiles, NamesFromTablesOfEachSide) {
    Bytes bytes = WithColorants(cmsSig6colorData, cmsSigColorantTableTag,
                                {"Orange", "Green", "A name of exactly 31 characters"});
    const TintDLProfile link = OpenICMDL(bytes);
    EXPECT_EQ(link.GetInputColorantName(0), "Orange");
    EXPECT_EQ(link.GetInputColorantName(2), "A name of exactly 31 characters");
    EXPECT_EQ(link.GetInputColorantName(3), "");
    // No 'clot': the output side falls back to its space, which has no names.
    EXPECT_EQ(ThrownMessage([&] { link.GetOutputColorantName(0); }),
              "unable to get colorant names");

    const TintDLProfile output = OpenICMDL(
        WithColorants(cmsSigCmykData, cmsSigColorantTableOutTag, {"K1", "K2", "K3", "K4"}));
    EXPECT_EQ(output.GetOutputColorantName(1), "K2");
    EXPECT_EQ(output.GetInputColorantName(1), "Magenta");
}

TEST_F(ICMProfiles, DamagedColorantTablesAreNeverReadPast) {
    const Bytes good = WithColorants(cmsSigCmykData, cmsSigColorantTableTag, {"A", "B", "C", "D"});
    const std::size_t entry = TagEntry(good, cmsSigColorantTableTag);
    ASSERT_NE(entry, 0u);
    const cmsUInt32Number offset = GetBig32(good, entry + 4);

    Bytes countTooLarge = good;  // announces entries far beyond the tag
    PutBig32(countTooLarge, offset + 8, 0x7FFFFFFF);
    Bytes tagCut = good;  // the directory gives the tag a size of 60 bytes
    PutBig32(tagCut, entry + 8, 60);
    for (const Bytes& bytes : {countTooLarge, tagCut}) {
        const TintProfile profile = OpenICM(bytes);
        EXPECT_EQ(profile.GetColorantName(0), "");
        EXPECT_EQ(profile.GetColorantName(1000), "");
    }
    EXPECT_EQ(OpenICM(good).GetColorantName(3), "D");
}

TEST_F(ICMProfiles, PostScriptIsTheColourSystemsTextExactly) {
    for (bool crd : {false, true}) {
        const std::string lack = SystemCannotWritePostScript(crd ? cmyk : srgb, crd);
        if (!lack.empty()) {
            GTEST_SKIP() << lack;
        }
    }
    std::string text;
    EXPECT_TRUE(
        TintICM::GetInstance()->GetPostScriptCSA(OpenICM(srgb), TintRI_Perceptual, Append, &text));
    if (SystemIsReal()) {
        EXPECT_NE(text.find("CIEBased"), std::string::npos) << text;
    } else {
        EXPECT_EQ(text, LittleCMSArray(srgb));  // the stand-in writes it with LittleCMS
    }

    std::string dictionary;
    EXPECT_TRUE(TintICM::GetInstance()->GetPostScriptCRD(OpenICM(cmyk), TintRI_Perceptual, Append,
                                                         &dictionary, true));
    EXPECT_NE(dictionary.find("ColorRendering"), std::string::npos);

    EXPECT_FALSE(TintICM::GetInstance()->GetPostScriptCSA(OpenICM(srgb), TintRI_Perceptual,
                                                          TakeLess, nullptr));
    EXPECT_FALSE(
        TintICM::GetInstance()->GetPostScriptCSA(OpenICM(srgb), TintRI_FromProfile, Append, &text));
    const TintProfile sixColour =
        OpenICM(HeaderOnlyProfile(cmsSigOutputClass, cmsSig6colorData, cmsSigLabData, 2.1));
    EXPECT_FALSE(
        TintICM::GetInstance()->GetPostScriptCSA(sixColour, TintRI_Perceptual, Append, &text));
    EXPECT_EQ(ThrownMessage([&] {
                  TintICM::GetInstance()->GetPostScriptCSA(OpenProfile(srgb), TintRI_Perceptual,
                                                           Append, &text);
              }),
              "Profiles do not match");
}

TEST(ICMPostScriptLength, StaysWithinTheDataItIsGiven) {
    const std::string ascii = "abc";
    EXPECT_EQ(TintICMPostScriptLength("ab\0cd", 5, false), 2u);
    EXPECT_EQ(TintICMPostScriptLength(ascii.data(), 3, false), 3u);  // no zero in the data

    const std::string framed = "%%Begin data %%End trailing";
    EXPECT_EQ(TintICMPostScriptLength(framed.data(), framed.size(), true),
              framed.find("%%End ") + 6);
    const std::string unframed = "%%Begin data only";
    EXPECT_EQ(TintICMPostScriptLength(unframed.data(), unframed.size(), true), unframed.size());
    EXPECT_EQ(TintICMPostScriptLength("x\0Begin End ", 12, true), 12u);  // Begin after the zero
    // "Begin" in the last bytes without a zero behind: the search stops at the size.
    const std::string tail = "xxBeg";
    EXPECT_EQ(TintICMPostScriptLength(tail.data(), tail.size(), true), tail.size());
}
