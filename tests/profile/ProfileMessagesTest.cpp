// The profile converter's decisions and what it tells the operator.
#include "profile/NewLinkName.h"
#include "tests/profile/ProfileFixture.h"

using namespace rdz::kelt;

namespace {
using ProfileMessages = ProfileFixture;
}

TEST(NewLinkName, FoldsTheUuidTextIntoADecimalNumber) {
    EXPECT_EQ(FoldLinkName("00000000-0000-4000-8000-000000000000"), "623455533");
    const std::string a = NewLinkName();
    const std::string b = NewLinkName();
    EXPECT_NE(a, b);
    for (const std::string& name : {a, b}) {
        EXPECT_GE(name.size(), 1u);
        EXPECT_LE(name.size(), 10u);
        EXPECT_EQ(name.find_first_not_of("0123456789"), std::string::npos) << name;
    }
}

TEST_F(ProfileMessages, NothingSwitchedOnDeclinesWithoutTouchingTheDocument) {
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}});
    Convert();
    EXPECT_FALSE(ran);
    EXPECT_EQ(ChangeCount(paint), 0);
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ProfileMessages, MissingProfilesAreReportedSourceFirst) {
    options.SetRodadazErivoSpace(true);
    options.SetSourceProfile("nowhere.icc");
    options.SetDestinationProfile("neither.icc");
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.messages(),
              (std::vector<Message>{
                  {MessageLevel::Error, "Profile 'nowhere.icc' from ticket not found?"},
                  {MessageLevel::Error, "Profile 'neither.icc' from ticket not found?"}}));

    messages.clear();
    options.SetRodadazErivoSpace(false);
    options.SetReseparate(true);
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.texts(MessageLevel::Error),
              std::vector<std::string>{"Profile 'nowhere.icc' from ticket not found?"});
}

TEST_F(ProfileMessages, NothingToConvertOpensNoProfile) {
    general.SetConvertCMYKLinework(false);
    general.SetConvertCMYKImages(false);
    options.SetRodadazErivoSpace(true);
    options.SetSourceProfile("nowhere.icc");
    options.SetRenderingIntent(TCMS::AbsoluteColorimetric);
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.2}, {cmyk[2], 0.6}});
    Convert();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(StoredLinks(), 0u);
    // The destination onto itself.
    EXPECT_EQ(Bytes(paint), (std::array<int, 4>{51, 0, 153, 0}));
}

TEST_F(ProfileMessages, IntentAndBlackPointRules) {
    const std::string bpcWarning =
        "Black point compensation is not allowed in combination with Absolute Colorimetric "
        "rendering intent. This setting will not be applied.";
    const std::string ownPerceptual =
        "Rendering intent 'Perceptual' is not supported for Quorin profiles. Rendering intent "
        "'Relative Colorimetric' will be used instead.";
    const std::string ownSaturation =
        "Rendering intent 'Saturation' is not supported for Quorin profiles. Rendering intent "
        "'Relative Colorimetric' will be used instead.";
    const std::string reseparationPerceptual =
        "Rendering intent 'Perceptual' is not supported for reseparation. Rendering intent "
        "'Relative Colorimetric' will be used instead.";
    const std::string reseparationSaturation =
        "Rendering intent 'Saturation' is not supported for reseparation. Rendering intent "
        "'Relative Colorimetric' will be used instead.";
    struct Case {
        const char* destination;
        TCMS::RenderingIntent intent;
        bool bpc;
        bool reseparate;
        std::vector<std::string> warnings;
    } cases[] = {
        {"dst.icc", TCMS::AbsoluteColorimetric, true, false, {bpcWarning}},
        {"Own", TCMS::AbsoluteColorimetric, true, false, {bpcWarning}},
        {"dst.icc", TCMS::Saturation, true, false, {}},
        {"dst.icc", TCMS::Perceptual, false, true, {reseparationPerceptual}},
        {"dst.icc", TCMS::Saturation, false, true, {reseparationSaturation}},
        {"Own", TCMS::Perceptual, false, true, {ownPerceptual}},
        {"Own", TCMS::Saturation, false, false, {ownSaturation}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.destination) + " intent " + std::to_string(c.intent));
        messages.clear();
        options.SetRodadazErivoSpace(true);
        options.SetDestinationProfile(c.destination);
        options.SetRenderingIntent(c.intent);
        options.SetBlackPointCompensation(c.bpc);
        options.SetReseparate(c.reseparate);
        Convert();
        EXPECT_TRUE(ran);
        // The image call reuses the link: each warning appears once.
        EXPECT_EQ(messages.texts(MessageLevel::Warning), c.warnings);
        EXPECT_EQ(messages.count(MessageLevel::Error), 0u);
    }
}

TEST_F(ProfileMessages, CleanColoursAreReportedInTableOrder) {
    options.SetRodadazErivoSpace(true);
    for (CleanColorsInk ink : {CleanBlue, CleanGreen, CleanRed, CleanYellow, CleanMagenta, CleanCyan}) {
        options.SetCleanColors(ink, true);
    }
    Convert();
    EXPECT_EQ(messages.texts(MessageLevel::Info),
              (std::vector<std::string>{"Keeping Cyan pure.", "Keeping Magenta pure.",
                                        "Keeping Yellow pure.",
                                        "Keeping Red (Magenta + Yellow) pure.",
                                        "Keeping Green (Cyan + Yellow) pure.",
                                        "Keeping Blue (Cyan + Magenta) pure."}));
}

TEST_F(ProfileMessages, TheDocumentProfileReplacesTheSourceWhenBothDatabasesKnowIt) {
    options.SetReseparate(true);
    options.SetUseDocumentProfile(true);
    options.SetSourceProfile("nowhere.icc");
    // Tagged, but the host database does not hold it: the options' profile stays.
    SetColorSpace(doc, "dst.icc", false);
    EXPECT_THROW(Convert(), std::exception);
    EXPECT_EQ(messages.texts(MessageLevel::Error),
              std::vector<std::string>{"Profile 'nowhere.icc' from ticket not found?"});

    messages.clear();
    SetColorSpace(doc, "dst.icc", true);
    Convert();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(messages.messages().empty());

    // Known to the host database but not to the CMS database: the conversion
    // declines.
    SetColorSpace(doc, "unknown.icc", true);
    Convert();
    EXPECT_FALSE(ran);
}
