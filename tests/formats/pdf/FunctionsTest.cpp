// PDF functions and the calculator of Type 4 functions.
#include <gtest/gtest.h>

#include "formats/pdf/Calculator.h"
#include "formats/pdf/Functions.h"

namespace rdz::formats::pdf {
namespace {

std::vector<double> Calc(const std::string& program, const std::vector<double>& in) {
    return CalculatorProgram::Parse(program).Run(in);
}

TEST(Calculator, RunsTheTintTransformsWritersUse) {
    // As a Python PDF library writes a Separation's CMYK alternate.
    EXPECT_EQ(Calc("{0.0 exch dup 0.5 mul exch dup 1.0 mul exch pop 0.0}", {1.0}),
              (std::vector<double>{0.0, 0.5, 1.0, 0.0}));
    // As Ghostscript's PDF writer does.
    EXPECT_EQ(Calc("{dup 0 mul exch dup 0.6 mul exch dup 1 mul exch 0 mul }", {0.5}),
              (std::vector<double>{0.0, 0.3, 0.5, 0.0}));
}

TEST(Calculator, StackOperatorsAndConditionals) {
    EXPECT_EQ(Calc("{3 1 roll}", {1, 2, 3}), (std::vector<double>{3, 1, 2}));
    EXPECT_EQ(Calc("{3 -1 roll}", {1, 2, 3}), (std::vector<double>{2, 3, 1}));
    EXPECT_EQ(Calc("{2 index}", {1, 2, 3}), (std::vector<double>{1, 2, 3, 1}));
    EXPECT_EQ(Calc("{2 copy}", {1, 2}), (std::vector<double>{1, 2, 1, 2}));
    EXPECT_EQ(Calc("{dup 0.5 gt {pop 1} {pop 0} ifelse}", {0.7}), (std::vector<double>{1}));
    EXPECT_EQ(Calc("{dup 0.5 gt {pop 1} {pop 0} ifelse}", {0.2}), (std::vector<double>{0}));
    EXPECT_EQ(Calc("{dup 0 eq {pop 9} if}", {0}), (std::vector<double>{9}));
    EXPECT_EQ(Calc("{7 2 idiv 7 2 mod}", {}), (std::vector<double>{3, 1}));
    EXPECT_EQ(Calc("{1 3 bitshift 16 -2 bitshift}", {}), (std::vector<double>{8, 4}));
    EXPECT_NEAR(Calc("{2 0.5 exp 90 sin}", {})[0], 1.41421356, 1e-6);
    EXPECT_NEAR(Calc("{2 0.5 exp 90 sin}", {})[1], 1.0, 1e-12);
}

TEST(Calculator, RefusesWhatItCannotRun) {
    EXPECT_THROW(CalculatorProgram::Parse("{1 2 frobnicate}"), FunctionError);
    EXPECT_THROW(CalculatorProgram::Parse("{1 2 add"), FunctionError);
    EXPECT_THROW(CalculatorProgram::Parse("1 2 add"), FunctionError);
    EXPECT_THROW(CalculatorProgram::Parse("{ {1} }"), FunctionError);  // a procedure left over
    EXPECT_THROW(Calc("{pop pop}", {1}), FunctionError);
    EXPECT_THROW(Calc("{1 0 div}", {}), FunctionError);
    EXPECT_THROW(Calc("{1.5 2 idiv}", {}), FunctionError);
    EXPECT_THROW(Calc("{true 1 add}", {}), FunctionError);
    EXPECT_THROW(Calc("{1 if}", {}), FunctionError);
    std::string deep = "{";
    for (int i = 0; i < 101; ++i) {
        deep += " 1";
    }
    EXPECT_THROW(Calc(deep + "}", {}), FunctionError);  // the stack holds 100 values
}

}  // namespace
}  // namespace rdz::formats::pdf
