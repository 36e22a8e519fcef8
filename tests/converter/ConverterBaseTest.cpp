#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/converter/TestConverter.h"

using namespace rdz::kelt;

namespace {

std::vector<TCMS::InkInfo> Names(std::initializer_list<const char*> inks, const char* book = "Out") {
    std::vector<TCMS::InkInfo> names;
    for (const char* ink : inks) {
        names.emplace_back(book, ink);
    }
    return names;
}

InkSetup Spot(const char* book, const char* name) {
    InkSetup spec;
    spec.book = book;
    spec.name = name;
    return spec;
}

class ConverterBase : public ::testing::Test {
protected:
    ScopedDocument doc;
    TGeneralColorConverterOptions options;
};

}  // namespace

TEST_F(ConverterBase, SkippedChannelsGetNoDocumentInk) {
    TestConverter converter(doc, options);
    converter.AddOutputInks(4, Names({"A", "B", "C", "D"}), {1, 3});

    EXPECT_EQ(converter.GetNrOutputInks(true), 4);
    EXPECT_EQ(converter.GetNrOutputInks(false), 2);
    const std::vector<inkt_t*> inks = Inks(doc);
    ASSERT_EQ(inks.size(), 2u);
    EXPECT_STREQ(inks[0]->name, "A");
    EXPECT_STREQ(inks[1]->name, "C");
    EXPECT_EQ(TColorConverterInspector::OutputInks(converter), inks);
}

TEST_F(ConverterBase, OutputInkMatchingAnExistingInkInAnotherCaseIsThatInk) {
    InkSetup gold = Spot("Metallics", "Gold");
    gold.printingMethod = "gravure";
    gold.inheritedValue = 0.7;
    gold.attribute = 3;
    inkt_t* stored = AddInk(doc, gold);

    TestConverter converter(doc, options);
    converter.AddOutputInks(1, Names({"GOLD"}, "metallics"), {});

    ASSERT_EQ(TColorConverterInspector::OutputInks(converter).size(), 1u);
    inkt_t* out = TColorConverterInspector::OutputInks(converter)[0];
    EXPECT_EQ(out, stored);
    EXPECT_STREQ(out->printingmethod, "gravure");
    EXPECT_EQ(out->inheritedValue, 0.7);
    EXPECT_EQ(out->attribute, 3);
    EXPECT_EQ(Inks(doc).size(), 1u);
}

TEST_F(ConverterBase, UnknownOutputInkCopiesTheFirstProcessInkElseTheFirstInk) {
    InkSetup spot = Spot("Spots", "Orange");
    spot.printingMethod = "screen";
    spot.inheritedValue = 0.25;
    spot.attribute = 9;
    AddInk(doc, spot);
    {
        TestConverter converter(doc, options);
        converter.AddOutputInks(1, Names({"New1"}), {});
        const inkt_t* out = TColorConverterInspector::OutputInks(converter)[0];
        EXPECT_STREQ(out->printingmethod, "screen");
        EXPECT_EQ(out->inheritedValue, 0.25);
        EXPECT_EQ(out->attribute, 9);
    }

    InkSetup cyan = Spot("Process", "Cyan");
    cyan.kinds = InkProcess;
    cyan.printingMethod = "offset";
    cyan.inheritedValue = 0.5;
    cyan.attribute = 4;
    AddInk(doc, cyan);
    TestConverter converter(doc, options);
    converter.AddOutputInks(1, Names({"New2"}), {});
    const inkt_t* out = TColorConverterInspector::OutputInks(converter)[0];
    EXPECT_STREQ(out->printingmethod, "offset");
    EXPECT_EQ(out->inheritedValue, 0.5);
    EXPECT_EQ(out->attribute, 4);
}

TEST_F(ConverterBase, ModelWithEmptyPrintingMethodPassesOnTheOtherProperties) {
    InkSetup model = Spot("Spots", "Model");
    model.inheritedValue = 0.9;
    model.attribute = 2;
    AddInk(doc, model);  // no printing method
    TestConverter converter(doc, options);
    converter.AddOutputInks(1, Names({"New"}), {});
    const inkt_t* out = TColorConverterInspector::OutputInks(converter)[0];
    EXPECT_TRUE(out->printingmethod == nullptr || out->printingmethod[0] == '\0');
    EXPECT_EQ(out->inheritedValue, 0.9);
    EXPECT_EQ(out->attribute, 2);
}

TEST_F(ConverterBase, OutputInksOfAnEmptyInkDatabaseKeepTheirOwnProperties) {
    TestConverter converter(doc, options);
    converter.AddOutputInks(2, Names({"Cyan", "Magenta"}), {});
    ASSERT_EQ(Inks(doc).size(), 2u);
    EXPECT_EQ(Inks(doc)[0]->inheritedValue, 0.0);
    EXPECT_EQ(Inks(doc)[0]->attribute, 0);
}

TEST_F(ConverterBase, TableLookupsFindTheFirstEntry) {
    const std::vector<inkt_t*> cmyk = AddCmykInks(doc);
    TestConverter converter(doc, options);
    converter.AddInputInk(cmyk[1]);
    converter.AddInputInk(cmyk[0]);
    converter.AddInputInk(cmyk[1]);
    EXPECT_EQ(converter.getSrcIndex(cmyk[1]), 0);
    EXPECT_EQ(converter.getSrcIndex(cmyk[0]), 1);
    EXPECT_EQ(converter.getSrcIndex(cmyk[3]), -1);
    EXPECT_EQ(converter.GetNrInputInks(), 3);
    EXPECT_EQ(converter.GetInputInks().size(), 3u);
}

TEST_F(ConverterBase, HasAllCMYKNeedsFourProcessInputInks) {
    const std::vector<inkt_t*> cmyk = AddCmykInks(doc);
    inkt_t* spot = AddInk(doc, Spot("Spots", "Red"));
    {
        TestConverter converter(doc, options);
        converter.AddInputInk(cmyk[0]);
        converter.AddInputInk(cmyk[1]);
        converter.AddInputInk(cmyk[2]);
        converter.AddInputInk(spot);
        EXPECT_FALSE(TColorConverterInspector::HasAllCMYK(converter));
    }
    TestConverter converter(doc, options);
    for (inkt_t* ink : cmyk) {
        converter.AddInputInk(ink);
    }
    EXPECT_TRUE(TColorConverterInspector::HasAllCMYK(converter));
}

TEST_F(ConverterBase, OpacityIsNullWithoutInputInksAndFollowsTheInks) {
    TestConverter converter(doc, options);
    EXPECT_EQ(converter.GetInputOpacity(), nullptr);

    InkSetup opaque = Spot("Spots", "Silver");
    opaque.kinds = InkOpaque;
    converter.AddInputInk(AddInk(doc, Spot("Spots", "Clear")));
    converter.AddInputInk(AddInk(doc, opaque));
    ASSERT_NE(converter.GetInputOpacity(), nullptr);
    EXPECT_EQ(converter.GetInputOpacity()[0], 0.0);
    EXPECT_EQ(converter.GetInputOpacity()[1], 1.0);
}

TEST_F(ConverterBase, InitStartsFromEmptyTablesAfterAnInitThatThrew) {
    const std::vector<inkt_t*> cmyk = AddCmykInks(doc);
    TestConverter converter(doc, options);
    bool fail = true;
    converter.onInit = [&](TestConverter& c) {
        c.AddInputInk(cmyk[0]);
        c.AddExceptionInk(cmyk[1]);
        c.AddImageExceptionInk(cmyk[2]);
        if (fail) {
            throw std::runtime_error("init failed halfway");
        }
        c.AddInputInk(cmyk[3]);
        c.AddOutputInks(1, Names({"Out"}), {});
        EXPECT_TRUE(TColorConverterInspector::CountsMatch(c));
        EXPECT_EQ(c.getSrcIndex(cmyk[3]), 1);
    };
    EXPECT_THROW(converter.Convert(), std::runtime_error);
    EXPECT_EQ(converter.endCalls, 0);

    fail = false;
    converter.Convert();
    EXPECT_EQ(converter.initCalls, 2);
    EXPECT_EQ(converter.endCalls, 1);
    EXPECT_TRUE(TColorConverterInspector::CountsMatch(converter));
    EXPECT_TRUE(TColorConverterInspector::InputInks(converter).empty());
}

TEST_F(ConverterBase, DumpListsTheTablesInOrder) {
    const std::vector<inkt_t*> cmyk = AddCmykInks(doc);
    TestConverter converter(doc, options);
    converter.AddExceptionInk(cmyk[3]);
    converter.AddImageExceptionInk(cmyk[2]);
    converter.AddInputInk(cmyk[0]);
    converter.AddOutputInks(2, Names({"X", "Y"}), {0});

    RecordingPrintSink printed;
    TColorConverterInspector::Dump(converter);
    const std::string& text = printed.text();
    const size_t exception = text.find("==== COLORCONVERSION : EXCEPTION ====\n");
    const size_t image = text.find("==== COLORCONVERSION : IMAGE EXCEPTION ====\n");
    const size_t input = text.find("==== COLORCONVERSION : INPUT ====\n");
    const size_t output = text.find("==== COLORCONVERSION : OUTPUT ====\n");
    ASSERT_EQ(exception, 0u);
    ASSERT_NE(image, std::string::npos);
    ASSERT_NE(input, std::string::npos);
    ASSERT_NE(output, std::string::npos);
    EXPECT_LT(exception, image);
    EXPECT_LT(image, input);
    EXPECT_LT(input, output);
    EXPECT_NE(text.find("Black", exception), std::string::npos);
    EXPECT_LT(text.find("Black"), image);
    EXPECT_NE(text.find("Yellow", image), std::string::npos);
    EXPECT_LT(text.find("Yellow", image), input);
    EXPECT_NE(text.find("Y", output + 30), std::string::npos);
    EXPECT_EQ(text.find("X", output + 30), std::string::npos);
}
