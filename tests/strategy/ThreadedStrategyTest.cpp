// A Color Strategy conversion with several image threads leaves the document
// exactly as one thread does: process inks through the profiles, spot inks
// mixed in through their colours, explicit values, messages.
#include "tests/converter/ThreadedOutcome.h"
#include "tests/strategy/StrategyFixture.h"

using namespace rdz::kelt;
using rdz::test::Capture;
using rdz::test::ExpectSameOutcome;
using rdz::test::MixedPixels;
using rdz::test::Outcome;
using rdz::test::ThreadCounts;

namespace {

class ThreadedStrategy : public StrategyFixture {
  protected:
    Outcome ConvertWith(int threads) {
        RecordingMessageSink sink;
        ScopedDocument document;
        std::vector<inkt_t*> cmyk = AddCmykInks(document, "Process", "CMYK");
        InkSetup spot;
        spot.book = "Spots";
        spot.name = "Warm Red";
        inkt_t* warmRed = AddInk(document, spot);
        spot.name = "Rubine";
        inkt_t* rubine = AddInk(document, spot);
        spot.name = "Violet";
        inkt_t* violet = AddInk(document, spot);

        AddSolid(document, {{cmyk[0], 0.2}, {cmyk[2], 0.6}, {warmRed, 0.5}});
        AddSolid(document, {{rubine, 1.0}, {cmyk[3], 0.5}});
        AddVignette(document, {{{violet, 0.1}}, {{violet, 0.9}, {cmyk[1], 0.3}}});

        ImageSetup image;
        image.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3], warmRed, violet, rubine};
        image.width = 53;
        image.height = 250;
        image.alpha = true;
        image.pixels = MixedPixels(53, 250, 8);
        AddImageDefinition(document, image);
        image.inks = {violet, cmyk[3]};
        image.width = 301;
        image.height = 37;
        image.alpha = false;
        image.pixels = MixedPixels(301, 37, 2, 5);
        AddImageDefinition(document, image);

        TRodadazErivoOptions options;
        options.SetColorStrategy("S");
        options.SetStrategyType(TCMS::ColTransfTypeAny);
        TColorConverter_RodadazErivo converter(document, general, options);
        converter.SetThreadCount(threads);
        converter.Convert();
        return Capture(document, sink);
    }
};

}  // namespace

TEST_F(ThreadedStrategy, DocumentComesOutAsWithOneThread) {
    // Warm Red and Violet are mixed in through their L*a*b*, Rubine has
    // explicit values: every pixel path of the strategy runs on the threads.
    Strategy("S", 2, R"("advancedItems": [{"book": "Spots", "ink": "Rubine", "option": 4,
                                           "values": [0, 80, 10, 0]}])");
    const Outcome one = ConvertWith(1);
    ASSERT_EQ(2u, one.images.size());
    ASSERT_FALSE(one.messages.empty());
    // The spot planes were converted, not copied: the tall image has four
    // output planes and alpha.
    ASSERT_EQ(53u * 250u * 5u, one.images[0].size());
    for (int threads : ThreadCounts()) {
        ExpectSameOutcome(one, ConvertWith(threads), threads);
    }
}
