#include <gtest/gtest.h>
#include <random>

#include <filesystem>
#include <fstream>

#include "platform/cms/StandIn.h"
#include "platform/cms/TInk.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/converter/TestConverter.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

/// A CMS database folder with one ink book "Metallics" holding "Gold".
class InkBridge : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("rdz-inkbridge-" + std::to_string(std::random_device{}()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder / "inkbooks");
        std::ofstream(folder / "inkbooks" / "metallics.json")
            << R"({"book": "Metallics", "inks": [{"name": "Gold", "lab": [70, 6, 40]}]})";
        rdz::cms::SetDatabaseFolder(folder.string());
    }
    void TearDown() override {
        rdz::cms::SetDatabaseFolder("");
        fs::remove_all(folder);
    }

    inkt_t* Ink(const char* book, const char* name, unsigned kinds = 0, bool crom = false) {
        InkSetup spec;
        spec.book = book;
        spec.name = name;
        spec.kinds = kinds;
        spec.rgb[0] = 0.1f;
        spec.rgb[1] = 0.2f;
        spec.rgb[2] = 0.3f;
        spec.hasCromValues = crom;
        const float crom4[4] = {0.25f, 0.0f, 1.0f, 0.5f};
        std::copy(crom4, crom4 + 4, spec.cromValues);
        return AddInk(doc, spec);
    }

    fs::path folder;
    ScopedDocument doc;
    TGeneralColorConverterOptions options;
};

}  // namespace

TEST_F(InkBridge, ABookInkTheDatabaseKnowsIsThatInk) {
    inkt_t* gold = Ink("Metallics", "GOLD", 0, true);
    TestConverter converter(doc, options);
    double opacity = -1;
    std::shared_ptr<TInk> ink = TColorConverterInspector::MakeCMSInk(converter, gold, &opacity);
    ASSERT_TRUE(ink);
    EXPECT_EQ(ink->GetOrigin(), TInk::Origin::InkBook);
    EXPECT_EQ(ink->Name(), "Gold");
    EXPECT_EQ(opacity, 0.0);
}

TEST_F(InkBridge, ChromaticComponentsAreSentAsTheirComplements) {
    // A book the database does not know falls through to the colour values.
    inkt_t* spot = Ink("Unknown Book", "Copper", InkOpaque, true);
    TestConverter converter(doc, options);
    double opacity = -1;
    std::shared_ptr<TInk> ink = TColorConverterInspector::MakeCMSInk(converter, spot, &opacity);
    ASSERT_TRUE(ink);
    EXPECT_EQ(ink->ColorSpace(), "crom_offs");
    EXPECT_EQ(ink->SourceValues(), (std::vector<double>{0.75, 1.0, 0.0, 0.5}));
    EXPECT_EQ(ink->Name(), "Copper");
    EXPECT_EQ(ink->Opacity(), 1.0);
    EXPECT_EQ(opacity, 1.0);
}

TEST_F(InkBridge, WithoutBookOrComponentsTheRgbColourIsUsed) {
    inkt_t* spot = Ink("", "Mint");
    TestConverter converter(doc, options);
    double opacity = -1;
    std::shared_ptr<TInk> ink = TColorConverterInspector::MakeCMSInk(converter, spot, &opacity);
    ASSERT_TRUE(ink);
    EXPECT_EQ(ink->ColorSpace(), "calibrator");
    ASSERT_EQ(ink->SourceValues().size(), 3u);
    EXPECT_DOUBLE_EQ(ink->SourceValues()[0], static_cast<double>(0.1f));
    EXPECT_DOUBLE_EQ(ink->SourceValues()[2], static_cast<double>(0.3f));
    EXPECT_EQ(opacity, 0.0);
}

TEST_F(InkBridge, InputInksCarryTheirCmsInkAndOpacity) {
    inkt_t* gold = Ink("Metallics", "Gold", InkOpaque);
    inkt_t* mint = Ink("", "Mint");
    TestConverter converter(doc, options);
    converter.AddInputInk(gold);
    converter.AddInputInk(mint);
    const std::vector<std::shared_ptr<TInk>> inks = converter.GetInputInks();
    ASSERT_EQ(inks.size(), 2u);
    EXPECT_EQ(inks[0]->GetOrigin(), TInk::Origin::InkBook);
    EXPECT_EQ(inks[1]->ColorSpace(), "calibrator");
    EXPECT_EQ(converter.GetInputOpacity()[0], 1.0);
    EXPECT_EQ(converter.GetInputOpacity()[1], 0.0);
}

TEST_F(InkBridge, EveryConverterHoldsOneInitialisationOfTheCmsLibrary) {
    rdz::cms::ResetCounts();
    const int open = rdz::cms::OpenCount();
    {
        auto original = std::make_unique<TestConverter>(doc, options);
        auto copy = std::make_unique<TestConverter>(*original);
        EXPECT_EQ(rdz::cms::InitCount(), 2);
        EXPECT_EQ(rdz::cms::OpenCount(), open + 2);
        original.reset();  // the original goes first
        EXPECT_EQ(rdz::cms::EndCount(), 1);
        auto second = std::make_unique<TestConverter>(*copy);
        copy.reset();
        second.reset();
    }
    EXPECT_EQ(rdz::cms::InitCount(), 3);
    EXPECT_EQ(rdz::cms::EndCount(), 3);
    EXPECT_EQ(rdz::cms::OpenCount(), open);
}
