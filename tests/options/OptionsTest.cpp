#include <gtest/gtest.h>

#include "options/TGeneralColorConverterOptions.h"
#include "options/TReseparateOptions.h"
#include "options/TRodadazErivoOptions.h"

TEST(GeneralOptions, DefaultsConvertEverythingButMaskPaintsAndRegistration) {
    TGeneralColorConverterOptions options;
    EXPECT_STREQ(options.GetColorStrategy(), "");
    EXPECT_TRUE(options.GetConvertCMYKLinework());
    EXPECT_TRUE(options.GetConvertCMYKImages());
    EXPECT_TRUE(options.GetFlatten());
    EXPECT_FALSE(options.GetConvertOpacityMaskPaints());
    EXPECT_FALSE(options.GetKeepRegistrationColor());
}

TEST(GeneralOptions, CopiesAreIndependent) {
    TGeneralColorConverterOptions options;
    options.SetColorStrategy("Coated to Uncoated");
    options.SetFlatten(false);
    TGeneralColorConverterOptions copy(options);
    options.SetColorStrategy("other");
    options.SetFlatten(true);
    EXPECT_STREQ(copy.GetColorStrategy(), "Coated to Uncoated");
    EXPECT_FALSE(copy.GetFlatten());

    TGeneralColorConverterOptions& self = copy;
    copy = self;
    EXPECT_STREQ(copy.GetColorStrategy(), "Coated to Uncoated");
}

TEST(RodadazErivoOptions, Defaults) {
    TRodadazErivoOptions options;
    EXPECT_STREQ(options.GetColorStrategy(), "");
    EXPECT_EQ(options.GetInkNotInStrategyPolicy(), 1);
    EXPECT_EQ(options.GetStrategyType(), -1);
    std::vector<std::string> exceptions{"left over"};
    options.GetExceptions(exceptions);
    EXPECT_TRUE(exceptions.empty());
}

TEST(RodadazErivoOptions, ExceptionsReplaceTheOutputInOrderWithDuplicates) {
    TRodadazErivoOptions options;
    options.AddException("Gold");
    options.AddException("Silver");
    options.AddException("Gold");
    std::vector<std::string> out{"x", "y", "z", "w"};
    options.GetExceptions(out);
    EXPECT_EQ(out, (std::vector<std::string>{"Gold", "Silver", "Gold"}));

    TRodadazErivoOptions copy;
    copy = options;
    options.AddException("Bronze");
    copy.GetExceptions(out);
    EXPECT_EQ(out.size(), 3u);
    const TRodadazErivoOptions& self = copy;
    copy = self;  // self-assignment leaves the record unchanged
    copy.GetExceptions(out);
    EXPECT_EQ(out.size(), 3u);
}

TEST(ReseparateOptions, Defaults) {
    TReseparateOptions options;
    EXPECT_FALSE(options.GetrodadazErivospace());
    EXPECT_FALSE(options.GetReseparate());
    EXPECT_TRUE(options.GetBlackPointCompensation());
    EXPECT_FALSE(options.GetUseDocumentProfile());
    EXPECT_FALSE(options.GetUseSkeletonBlack());
    EXPECT_EQ(options.GetSmoothing(), 0.0);
    EXPECT_EQ(options.GetIccDeviceLink(), "");
    EXPECT_EQ(options.GetSourceProfile(), "");
    EXPECT_EQ(options.GetDestinationProfile(), "");
    EXPECT_EQ(options.GetRenderingIntent(), 3);
    EXPECT_EQ(options.GetPurpose(), 3);
    EXPECT_EQ(options.GetTotalInk(), 400.0);
    EXPECT_EQ(options.GetMaximumK(), 100.0);
    EXPECT_EQ(options.GetRange(), 50.0);
    EXPECT_EQ(options.GetStartK(), 0.0);
    for (int ink = CleanCyan; ink <= CleanBlue; ++ink) {
        EXPECT_FALSE(options.GetCleanColors(static_cast<CleanColorsInk>(ink)));
    }
}

TEST(ReseparateOptions, CleanColorsAreOverwrittenAndUnsetKeysAreFalse) {
    TReseparateOptions options;
    options.SetCleanColors(CleanRed, false);
    options.SetCleanColors(CleanCyan, true);
    EXPECT_FALSE(options.GetCleanColors(CleanRed));
    EXPECT_FALSE(options.GetCleanColors(CleanGreen));
    EXPECT_TRUE(options.GetCleanColors(CleanCyan));
    options.SetCleanColors(CleanCyan, false);
    EXPECT_FALSE(options.GetCleanColors(CleanCyan));
}

TEST(ReseparateOptions, CopyIsDeep) {
    TReseparateOptions options;
    options.SetSourceProfile("a.icc");
    options.SetCleanColors(CleanBlue, true);
    TReseparateOptions copy(options);
    options.SetSourceProfile("b.icc");
    options.SetCleanColors(CleanBlue, false);
    EXPECT_EQ(copy.GetSourceProfile(), "a.icc");
    EXPECT_TRUE(copy.GetCleanColors(CleanBlue));
}
