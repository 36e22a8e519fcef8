// Reading the operations of content streams.
#include <gtest/gtest.h>

#include "formats/pdf/ContentTokens.h"

namespace rdz::formats::pdf {
namespace {

std::vector<Operation> Scan(const std::string& data) {
    std::vector<Operation> out;
    ScanContent(data, [&](const Operation& op) { out.push_back(op); });
    return out;
}

TEST(ContentTokens, OperationsKnowTheirOperandsAndBytes) {
    const std::string data = "q 0.1 .2 0.3 1 k\n/CS0 cs 0.5 /P1 scn [(a) 2 (b)] TJ Q";
    const std::vector<Operation> ops = Scan(data);
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(ops[1].op, "k");
    ASSERT_EQ(ops[1].operands.size(), 4u);
    EXPECT_DOUBLE_EQ(ops[1].operands[1].Number(), 0.2);
    EXPECT_EQ(data.substr(ops[1].begin, ops[1].end - ops[1].begin), "0.1 .2 0.3 1 k");
    EXPECT_EQ(ops[2].operands[0].value, "/CS0");
    EXPECT_EQ(data.substr(ops[3].begin, ops[3].end - ops[3].begin), "0.5 /P1 scn");
    // An array operand counts as one, whatever it holds.
    EXPECT_EQ(ops[4].op, "TJ");
    ASSERT_EQ(ops[4].operands.size(), 1u);
    EXPECT_EQ(ops[4].operands[0].type, QPDFTokenizer::tt_array_open);
}

TEST(ContentTokens, InlineImagesAreOneOperation) {
    // The data holds bytes that look like operators and a false "EI".
    const std::string image(
        "\x01"
        "EIx k\x02\x03",
        8);
    const std::string data = "q BI /W 2 /H 1 /BPC 8 /CS /G ID " + image + "\nEI Q 1 g";
    const std::vector<Operation> ops = Scan(data);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[1].op, "BI");
    EXPECT_EQ(ops[1].imageDictionary, " /W 2 /H 1 /BPC 8 /CS /G ");
    EXPECT_EQ(ops[1].imageData.substr(0, image.size()), image);
    EXPECT_EQ(data.substr(ops[1].begin, 2), "BI");
    EXPECT_EQ(data.substr(ops[1].end - 2, 2), "EI");
    EXPECT_EQ(ops[3].op, "g");
}

TEST(ContentTokens, UnreadableContentIsRefused) {
    EXPECT_THROW(Scan("0 0 1 1 re [ 1 2 f"), ContentError);        // array without end
    EXPECT_THROW(Scan("0.1 0.2 ] k"), ContentError);               // end without start
    EXPECT_THROW(Scan("BI /W 1 /H 1 ID \x01\x02"), ContentError);  // no EI
    EXPECT_THROW(Scan("<< /A 1 >> >> BDC"), ContentError);
    // Operands left without an operator at the end do nothing.
    EXPECT_EQ(Scan("1 0 0 1 0 0 cm 0.5").size(), 1u);
}

}  // namespace
}  // namespace rdz::formats::pdf
