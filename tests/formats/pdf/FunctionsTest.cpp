// PDF functions and the calculator of Type 4 functions.
#include <gtest/gtest.h>

#include "formats/pdf/Calculator.h"
#include "formats/pdf/Functions.h"

#include <qpdf/QPDF.hh>

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

namespace rdz::formats::pdf {
namespace {

QPDFObjectHandle Parse(const std::string& text) {
    return QPDFObjectHandle::parse(text);
}

TEST(Functions, ExponentialStitchingAndListsEvaluateAsDefined) {
    auto exponential =
        PdfFunction::Parse(Parse("<< /FunctionType 2 /Domain [0 1] /C0 [0 1] /C1 [1 0.5] /N 2 >>"));
    EXPECT_EQ(exponential->Outputs(), 2);
    const std::vector<double> half = exponential->Evaluate({0.5});
    EXPECT_NEAR(half[0], 0.25, 1e-12);
    EXPECT_NEAR(half[1], 0.875, 1e-12);
    // Inputs beyond the domain are clipped to it.
    EXPECT_NEAR(exponential->Evaluate({3.0})[0], 1.0, 1e-12);

    auto stitching = PdfFunction::Parse(
        Parse("<< /FunctionType 3 /Domain [0 2] /Bounds [1] /Encode [0 1 1 0] /Functions ["
              "<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>"
              "<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [0.5] /N 1 >> ] >>"));
    EXPECT_NEAR(stitching->Evaluate({0.5})[0], 0.5, 1e-12);
    EXPECT_NEAR(stitching->Evaluate({1.0})[0], 0.5, 1e-12);  // the second part, reversed
    EXPECT_NEAR(stitching->Evaluate({1.5})[0], 0.25, 1e-12);
    EXPECT_NEAR(stitching->Evaluate({2.0})[0], 0.0, 1e-12);

    auto list =
        PdfFunction::ParseList(Parse("[<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>"
                                     " << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >>]"));
    EXPECT_EQ(list->Evaluate({0.25}), (std::vector<double>{0.25, 0.75}));
}

TEST(Functions, SampledFunctionsInterpolateTheirSamples) {
    QPDF qpdf;
    qpdf.emptyPDF();
    // Two inputs, one output, 2 x 2 samples of 16 bits: 0, 0.5 / 0.25, 1.
    const std::string samples("\x00\x00\x7f\xff\x3f\xff\xff\xff", 8);
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(&qpdf, samples);
    stream.getDict().replaceKey("/FunctionType", QPDFObjectHandle::newInteger(0));
    stream.getDict().replaceKey("/Domain", Parse("[0 1 0 1]"));
    stream.getDict().replaceKey("/Range", Parse("[0 1]"));
    stream.getDict().replaceKey("/Size", Parse("[2 2]"));
    stream.getDict().replaceKey("/BitsPerSample", QPDFObjectHandle::newInteger(16));
    auto sampled = PdfFunction::Parse(stream);
    EXPECT_NEAR(sampled->Evaluate({0, 0})[0], 0.0, 1e-4);
    EXPECT_NEAR(sampled->Evaluate({1, 0})[0], 0.5, 1e-4);
    EXPECT_NEAR(sampled->Evaluate({0, 1})[0], 0.25, 1e-4);
    EXPECT_NEAR(sampled->Evaluate({1, 1})[0], 1.0, 1e-4);
    EXPECT_NEAR(sampled->Evaluate({0.5, 0.5})[0], (0 + 0.5 + 0.25 + 1) / 4, 1e-4);

    // Fewer samples than the size asks for.
    stream.getDict().replaceKey("/Size", Parse("[3 3]"));
    EXPECT_THROW(PdfFunction::Parse(stream), FunctionError);
}

TEST(Functions, RefusesWhatDoesNotFit) {
    EXPECT_THROW(PdfFunction::Parse(Parse("<< /FunctionType 5 /Domain [0 1] >>")), FunctionError);
    EXPECT_THROW(PdfFunction::Parse(Parse("<< /FunctionType 2 /C0 [0] /C1 [1] /N 1 >>")),
                 FunctionError);  // no Domain
    EXPECT_THROW(
        PdfFunction::Parse(Parse("<< /FunctionType 2 /Domain [0 1] /C0 [0 0] /C1 [1] /N 1 >>")),
        FunctionError);
    EXPECT_THROW(PdfFunction::Parse(Parse("<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] "
                                          "/Encode [0 1] /Functions [<< /FunctionType 2 /Domain "
                                          "[0 1] /N 1 >>] >>")),
                 FunctionError);  // Bounds for two parts, one part
    EXPECT_THROW(PdfFunction::Parse(Parse("42")), FunctionError);
}

}  // namespace
}  // namespace rdz::formats::pdf
