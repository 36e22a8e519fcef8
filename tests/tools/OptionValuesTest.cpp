// Option values, suggestions and the console's wording, without the program.
#include <gtest/gtest.h>

#include "formats/Errors.h"
#include "platform/kelt/MessageSink.h"
#include "tools/OptionValues.h"
#include "tools/ProgressBar.h"
#include "tools/Suggestions.h"

namespace rdz::tools {
namespace {

using rdz::formats::UsageError;

TEST(OptionValues, PercentagesBecomeFractionsAndAnythingElseIsRefused) {
    EXPECT_DOUBLE_EQ(3.0, PercentValue("--total-ink", "300", 400));
    EXPECT_DOUBLE_EQ(3.2, PercentValue("--total-ink", "320", 400));
    EXPECT_DOUBLE_EQ(0.125, PercentValue("--range", "12.5", 100));
    EXPECT_DOUBLE_EQ(0.0, PercentValue("--range", "0", 100));
    EXPECT_DOUBLE_EQ(1.0, PercentValue("--range", "100", 100));
    for (const char* text : {"-1", "100.01", "1e2", "0x10", "+5", " 5", "5 ", "5%", "", ".5", "5.",
                             "nan", "inf", "1,5"}) {
        EXPECT_THROW(PercentValue("--range", text, 100), UsageError) << text;
    }
}

TEST(OptionValues, WholeNumbersAreDecimalDigitsWithinTheirRange) {
    EXPECT_EQ(-1, IntegerValue("--strategy-type", "-1", -1, 3));
    EXPECT_EQ(256, IntegerValue("--threads", "256", 1, 256));
    for (const char* text :
         {"0", "257", "0x10", "010x", "+3", "3.0", "", "-", "99999999999999999999"}) {
        EXPECT_THROW(IntegerValue("--threads", text, 1, 256), UsageError) << text;
    }
}

TEST(OptionValues, IntentsByNameOrIccNumberMapOntoTheRecordsNumbers) {
    EXPECT_EQ(1, IccIntentValue("--intent", "relative"));
    EXPECT_EQ(1, IccIntentValue("--intent", "1"));
    EXPECT_EQ(3, IccIntentValue("--intent", "Absolute"));
    EXPECT_EQ(TCMS::Perceptual, CmsIntent(0));
    EXPECT_EQ(TCMS::RelativeColorimetric, CmsIntent(1));
    EXPECT_EQ(TCMS::Saturation, CmsIntent(2));
    EXPECT_EQ(TCMS::AbsoluteColorimetric, CmsIntent(3));
    for (const char* text : {"4", "-1", "rel", "relative colorimetric", "01"}) {
        EXPECT_THROW(IccIntentValue("--intent", text), UsageError) << text;
    }
}

TEST(OptionValues, SizesTakeBinaryUnits) {
    EXPECT_EQ(512ull << 20, SizeValue("--max-memory", "512M"));
    EXPECT_EQ(4ull << 30, SizeValue("--max-memory", "4G"));
    EXPECT_EQ(4ull << 30, SizeValue("--max-memory", "4GiB"));
    EXPECT_EQ(1000ull, SizeValue("--max-memory", "1000"));
    EXPECT_EQ(0ull, SizeValue("--max-memory", "0"));
    for (const char* text : {"-1G", "4.5G", "G", "4X", "99999999999999999T", ""}) {
        EXPECT_THROW(SizeValue("--max-memory", text), UsageError) << text;
    }
}

TEST(Suggestions, NamesThatHoldWhatWasTypedComeFirst) {
    const std::vector<std::string> names = {"Proof Rubine", "Coated to Uncoated", "ISO Coated",
                                            "Digital Press Hexa"};
    EXPECT_EQ("ISO Coated", ClosestFirst("iso", names).front());
    EXPECT_EQ("Coated to Uncoated", ClosestFirst("Coated to Uncoat", names).front());
    EXPECT_EQ("Proof Rubine", ClosestFirst("Proof Rubin", names).front());
    EXPECT_EQ("it has none", WhatItHas("x", {}));
    EXPECT_EQ("it has: b, a and 1 more", WhatItHas("b", {"a", "b", "c"}, 2));
}

TEST(Console, HostWordingIsPutInTheUsersTerms) {
    Console console(false);
    console.SetDatabase("the CMS database /srv/cms");
    console.CollectInto(nullptr);
    std::string lines;
    console.CollectInto(&lines);
    console.Error("Profile 'Press.icc' from ticket not found?");
    console.Error("Color Strategy Gone was not found in the CMS database.");
    console.Info("Ink <unregistered> X from ticket stays as it is.");
    EXPECT_EQ(
        "ERROR: Profile 'Press.icc' is not a process of the CMS database /srv/cms.\n"
        "ERROR: Color Strategy Gone was not found in the CMS database /srv/cms.\n"
        "INFO: Ink <unregistered> X from ticket stays as it is.\n",
        lines);
    EXPECT_EQ(2, console.Errors());

    lines.clear();
    console.SetVerbosity(Verbosity::Quiet);
    console.Info("shown only to the curious");
    console.Warning("not shown either");
    console.Error("shown");
    EXPECT_EQ("ERROR: shown\n", lines);
    EXPECT_EQ(6u, console.Said().size()) << "kept for the report whatever is shown";
}

}  // namespace
}  // namespace rdz::tools
