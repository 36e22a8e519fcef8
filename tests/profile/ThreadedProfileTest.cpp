// A profile conversion with several image threads leaves the document exactly
// as one thread does, for each stage alone and for the chain with its
// intermediate buffer.
#include "tests/converter/ThreadedOutcome.h"
#include "tests/profile/ProfileFixture.h"

using namespace rdz::kelt;
using rdz::test::Capture;
using rdz::test::ExpectSameOutcome;
using rdz::test::MixedPixels;
using rdz::test::Outcome;
using rdz::test::ThreadCounts;

namespace {

class ThreadedProfile : public ProfileFixture {
  protected:
    Outcome ConvertWith(int threads) {
        RecordingMessageSink sink;
        ScopedDocument document;
        std::vector<inkt_t*> process = AddCmykInks(document, "Process", "CMYK");
        InkSetup spot;
        spot.book = "Spots";
        spot.name = "Gold";
        inkt_t* gold = AddInk(document, spot);

        AddSolid(document, {{process[0], 0.2}, {process[1], 0.4}, {process[3], 0.1}});
        AddSolid(document, {{gold, 0.5}, {process[2], 0.7}});
        AddVignette(document, {{{process[0], 0.1}}, {{process[0], 0.9}, {process[3], 0.2}}});

        ImageSetup image;
        image.inks = {process[0], process[1], process[2], process[3], gold};
        image.width = 67;
        image.height = 250;
        image.alpha = true;
        image.pixels = MixedPixels(67, 250, 6);
        AddImageDefinition(document, image);
        image.inks = {process[3], process[1]};
        image.width = 299;
        image.height = 37;
        image.alpha = false;
        image.pixels = MixedPixels(299, 37, 2, 9);
        AddImageDefinition(document, image);

        TColorConverter_ProfileToProfile converter(document, general, options);
        converter.SetThreadCount(threads);
        converter.Convert();
        EXPECT_TRUE(converter.ConversionRan());
        return Capture(document, sink);
    }

    void ExpectSameForEveryThreadCount() {
        ConvertWith(1);  // stores the links, so that every run below finds them
        const Outcome one = ConvertWith(1);
        ASSERT_EQ(2u, one.images.size());
        for (int threads : ThreadCounts()) {
            ExpectSameOutcome(one, ConvertWith(threads), threads);
        }
    }
};

}  // namespace

TEST_F(ThreadedProfile, ColourSpaceConversionAsWithOneThread) {
    options.SetRodadazErivoSpace(true);
    ExpectSameForEveryThreadCount();
}

TEST_F(ThreadedProfile, ReseparationAsWithOneThread) {
    options.SetReseparate(true);
    options.SetTotalInk(2.8);
    ExpectSameForEveryThreadCount();
}

TEST_F(ThreadedProfile, ChainAsWithOneThread) {
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(true);
    options.SetTotalInk(2.6);
    // Linework only through the colour-space stage: paints and rows take
    // different transforms.
    general.SetConvertCMYKLinework(false);
    ExpectSameForEveryThreadCount();
}
