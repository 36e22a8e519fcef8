// What the Color Strategy converter decides for each document ink, and what it
// tells the operator.
#include "tests/converter/TestConverter.h"
#include "tests/strategy/StrategyFixture.h"

using namespace rdz::kelt;

namespace {

/// Runs Init alone, so that the tables can be read before End empties them.
class Probe : public TColorConverter_RodadazErivo {
public:
    using TColorConverter_RodadazErivo::TColorConverter_RodadazErivo;
    int RunInit() { return Init(); }
    void RunEnd() { End(); }
};

class InkDecisions : public StrategyFixture {
protected:
    void SetUp() override {
        StrategyFixture::SetUp();
        cmyk = AddCmykInks(doc, "Process", "CMYK");
    }

    std::string Defined(const char* book, const char* ink, const char* strategy) {
        return std::string("Conversion for ink ") + book + " " + ink +
               " is defined in Color Strategy " + strategy + ". Applying strategy settings.";
    }
    std::vector<Message> ProcessDefined(const char* strategy) {
        std::vector<Message> out;
        for (const char* ink : {"Cyan", "Magenta", "Yellow", "Black"}) {
            out.push_back({MessageLevel::Info, Defined("Process Colours", ink, strategy)});
        }
        return out;
    }

    std::vector<inkt_t*> cmyk;
};

}  // namespace

TEST_F(InkDecisions, NamesUpTo256CharactersAreLookedUpAndLongerOnesImported) {
    TRodadazErivoOptions options;
    const std::string name(256, 'n');
    options.SetColorStrategy(name);
    EXPECT_THROW(Run(options), std::exception);
    EXPECT_EQ(messages.messages(),
              (std::vector<Message>{{MessageLevel::Error, "Color Strategy " + name +
                                                              " was not found in the CMS database."}}));

    // An exported strategy of another type than requested: imported, no type check.
    std::string exported = R"({"type": 2, "source": "src.icc", "destination": "dst.icc"})";
    exported.resize(257, ' ');
    options.SetColorStrategy(exported);
    options.SetStrategyType(TCMS::ColTransfTypeDigitalPrinting);
    messages.clear();
    Run(options);
    EXPECT_EQ(messages.count(MessageLevel::Error), 0u);
    EXPECT_EQ(messages.count(MessageLevel::Info), 4u);

    std::string broken = "{ not a strategy";
    broken.resize(300, ' ');
    options.SetColorStrategy(broken);
    messages.clear();
    EXPECT_THROW(Run(options), std::exception);
    EXPECT_EQ(messages.texts(MessageLevel::Error),
              std::vector<std::string>{"Color Strategy " + broken +
                                       " was not found in the CMS database."});
}

TEST_F(InkDecisions, TheRequestedTypeMustMatch) {
    Strategy("Orv", 2);
    Strategy("Dig", 3);
    struct Case {
        const char* name;
        int requested;
        const char* error;  // null: accepted
    } cases[] = {
        {"Dig", 0, nullptr},
        {"Dig", 3, nullptr},
        {"Dig", 2, "Color Strategy Dig is not an Orvex Color Strategy!"},
        {"Orv", 3, "Color Strategy Orv is not a Digital Printing Color Strategy!"},
        {"Orv", 1, "Color Strategy Orv is not the right type of Color Strategy!"},
        {"Orv", -1, "Color Strategy Orv is not the right type of Color Strategy!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " as " + std::to_string(c.requested));
        messages.clear();
        TRodadazErivoOptions options;
        options.SetColorStrategy(c.name);
        options.SetStrategyType(static_cast<TCMS::ColTransfType>(c.requested));
        if (c.error == nullptr) {
            EXPECT_NO_THROW(Run(options));
            EXPECT_EQ(messages.count(MessageLevel::Error), 0u);
        } else {
            EXPECT_THROW(Run(options), std::exception);
            EXPECT_EQ(messages.messages(),
                      (std::vector<Message>{{MessageLevel::Error, c.error}}));
        }
    }
}

TEST_F(InkDecisions, KindsDecideInksTheStrategyDoesNotDefine) {
    Strategy("Orv", 2, R"("convertOpaqueInks": false, "convertUnregisteredInks": false)");
    Strategy("Dig", 3, R"("convertOpaqueInks": false)");
    Ink("Spots", "Silver", InkOpaque | InkTechnical);
    Ink("Local", "Mystery", InkUnregistered);
    Ink("Spots", "Dieline", InkTechnical);
    Ink("Spots", "Varnish", InkVarnish);
    Ink("Spots", "Violet");

    TRodadazErivoOptions options;
    options.SetColorStrategy("Orv");
    options.SetStrategyType(TCMS::ColTransfTypeOrvex);
    Run(options);
    std::vector<Message> expected = ProcessDefined("Orv");
    expected.push_back({MessageLevel::Info,
                        "Ink Spot Colours Silver is an opaque ink and will not be converted (as "
                        "specified in Color Strategy Orv)."});
    expected.push_back({MessageLevel::Info,
                        "Ink <unregistered> Mystery is an unregistered ink and will not be "
                        "converted (as specified in Color Strategy Orv)."});
    expected.push_back({MessageLevel::Info,
                        "Ink Spot Colours Dieline is a technical ink and will not be converted: "
                        "technical inks are not converted by default. To convert the ink, add it "
                        "to the Color Strategy."});
    expected.push_back({MessageLevel::Info,
                        "Ink Spot Colours Varnish is a varnish ink and will not be converted: "
                        "varnish inks are not converted by default. To convert the ink, add it to "
                        "the Color Strategy."});
    expected.push_back({MessageLevel::Info,
                        "Ink Spot Colours Violet will be converted according to settings in Color "
                        "Strategy Orv."});
    EXPECT_EQ(messages.messages(), expected);

    // Any other requested type converts technical and varnish inks.
    messages.clear();
    options.SetColorStrategy("Dig");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    const std::vector<std::string> infos = messages.texts(MessageLevel::Info);
    ASSERT_EQ(infos.size(), 9u);
    EXPECT_EQ(infos[5],
              "Ink <unregistered> Mystery will be converted according to settings in Color "
              "Strategy Dig.");
    EXPECT_EQ(infos[6],
              "Ink Spot Colours Dieline will be converted according to settings in Color "
              "Strategy Dig.");
    EXPECT_EQ(infos[7],
              "Ink Spot Colours Varnish will be converted according to settings in Color "
              "Strategy Dig.");
}

TEST_F(InkDecisions, AdvancedItemsMatchIgnoringCaseButNotUnderAnotherBook) {
    Strategy("S", 2, R"("advancedItems": [{"book": "SPOTS", "ink": "WARM RED", "option": 0}])");
    Ink("spots", "warm red");
    Ink("Other", "Warm Red");
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    std::vector<Message> expected = ProcessDefined("S");
    expected.push_back({MessageLevel::Info, Defined("Spot Colours", "Warm Red C", "S")});
    expected.push_back({MessageLevel::Info,
                        "Ink <unregistered> Warm Red will be converted according to settings in "
                        "Color Strategy S."});
    EXPECT_EQ(messages.messages(), expected);
}

TEST_F(InkDecisions, PolicyZeroKeepsEveryUndefinedInkWithAWarning) {
    Strategy("S", 2);
    inkt_t* rubine = Ink("Spots", "Rubine");
    inkt_t* mystery = Ink("Local", "Mystery", InkUnregistered);
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    options.SetInkNotInStrategyPolicy(InkNotInStrategyKeep);
    Probe probe(doc, general, options);
    ASSERT_EQ(probe.RunInit(), 0);
    EXPECT_EQ(messages.texts(MessageLevel::Warning),
              (std::vector<std::string>{
                  "Conversion for ink Spot Colours Rubine is not defined in Color Strategy S. The "
                  "ink will not be converted.",
                  "Conversion for ink <unregistered> Mystery is not defined in Color Strategy S. "
                  "The ink will not be converted."}));
    EXPECT_EQ(TColorConverterInspector::InputInks(probe), cmyk);
    EXPECT_EQ(TColorConverterInspector::ExceptionInks(probe),
              (std::vector<inkt_t*>{rubine, mystery}));
    EXPECT_EQ(TColorConverterInspector::ImageExceptionInks(probe),
              (std::vector<inkt_t*>{rubine, mystery}));
    probe.RunEnd();
}

TEST_F(InkDecisions, PolicyTwoStopsAtTheFirstUndefinedInkAndCanRunAgain) {
    Strategy("S", 2);
    Ink("Spots", "Rubine");
    Ink("Spots", "Violet");
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    options.SetInkNotInStrategyPolicy(InkNotInStrategyFail);
    TColorConverter_RodadazErivo converter(doc, general, options);
    EXPECT_THROW(converter.Convert(), std::exception);
    std::vector<Message> expected = ProcessDefined("S");
    expected.push_back({MessageLevel::Error,
                        "Conversion for ink Spot Colours Rubine is not defined in Color Strategy S."});
    EXPECT_EQ(messages.messages(), expected);
    EXPECT_FALSE(converter.ConversionRan());

    // Without the strategy's verdicts (interactive) the same object converts.
    interactive = 1;
    paint_t* paint = AddSolid(doc, {{cmyk[0], 0.5}});
    converter.Convert();
    EXPECT_TRUE(converter.ConversionRan());
    EXPECT_EQ(ChangeCount(paint), 1);
}

TEST_F(InkDecisions, ValuesOver100AreClippedWithAWarning) {
    Strategy("S", 2, R"("advancedItems": [
        {"book": "Spots", "ink": "Warm Red", "option": 4, "values": [0, 100, 80, 0]},
        {"book": "Spots", "ink": "Rubine", "option": 4, "values": [0, 100.5, 0, 0]}])");
    Ink("Spots", "Warm Red");
    inkt_t* rubine = Ink("Spots", "Rubine");
    paint_t* paint = AddSolid(doc, {{rubine, 1.0}});
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    EXPECT_EQ(messages.texts(MessageLevel::Warning),
              std::vector<std::string>{"Conversion for ink Spot Colours Rubine in Color Strategy "
                                       "S has values over 100%. Output will be clipped at 100%."});
    const std::vector<Amount> amounts = SolidAmounts(paint);
    ASSERT_EQ(amounts.size(), 1u);
    EXPECT_STREQ(amounts[0].ink->name, "Magenta");
    EXPECT_EQ(amounts[0].fraction, 1.0);
}

TEST_F(InkDecisions, InteractiveSkipsTheStrategyAndKeepsListedUnregisteredInks) {
    Strategy("S", 2);
    inkt_t* rubine = Ink("Spots", "Rubine");
    inkt_t* mystery = Ink("Local", "Mystery", InkUnregistered);
    inkt_t* other = Ink("Local", "Other", InkUnregistered);
    interactive = 1;
    general.SetConvertCMYKLinework(false);
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    options.AddException("MYSTERY");
    options.AddException("rubine");  // registered: no effect
    Probe probe(doc, general, options);
    ASSERT_EQ(probe.RunInit(), 0);
    EXPECT_TRUE(messages.messages().empty());
    std::vector<inkt_t*> inputs = cmyk;
    inputs.push_back(rubine);
    inputs.push_back(other);
    EXPECT_EQ(TColorConverterInspector::InputInks(probe), inputs);
    std::vector<inkt_t*> exceptions = cmyk;
    exceptions.push_back(mystery);
    EXPECT_EQ(TColorConverterInspector::ExceptionInks(probe), exceptions);
    // The kept ink keeps its image planes too.
    EXPECT_EQ(TColorConverterInspector::ImageExceptionInks(probe),
              std::vector<inkt_t*>{mystery});
    probe.RunEnd();
}

TEST_F(InkDecisions, LongInkNamesAreCutInMessages) {
    Strategy("S", 2);
    const std::string longName(300, 'q');
    Ink("Local", longName.c_str());
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    const std::vector<std::string> infos = messages.texts(MessageLevel::Info);
    ASSERT_EQ(infos.size(), 5u);
    EXPECT_EQ(infos[4], "Ink <unregistered> " + std::string(255, 'q') +
                            " will be converted according to settings in Color Strategy S.");
}

TEST_F(InkDecisions, ChannelsTheStrategyDoesNotPrintGetNoDocumentInk) {
    Strategy("S", 3, R"("extraOutputInks": [{"book": "Spots", "ink": "Dieline"}],
                        "unprintedInks": ["Dieline"],
                        "advancedItems": [{"book": "Spots", "ink": "Rubine", "option": 4,
                                           "values": [0, 0, 0, 0, 100]}])");
    inkt_t* rubine = Ink("Spots", "Rubine");
    paint_t* paint = AddSolid(doc, {{rubine, 1.0}, {cmyk[3], 0.5}});
    TRodadazErivoOptions options;
    options.SetColorStrategy("S");
    options.SetStrategyType(TCMS::ColTransfTypeAny);
    Run(options);
    for (inkt_t* ink : Inks(doc)) {
        EXPECT_STRNE(ink->name, "Dieline");
    }
    for (const Amount& amount : SolidAmounts(paint)) {
        EXPECT_STRNE(amount.ink->name, "Dieline");
    }
}
