// Writing converted colours back into the PDF: operators, colour spaces,
// images, shadings, output intents; what is not converted keeps its bytes.
#include <gtest/gtest.h>

#include <fstream>

#include <qpdf/QPDF.hh>

#include "formats/pdf/Functions.h"
#include "formats/pdf/StreamData.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/formats/pdf/PdfTestSupport.h"

namespace rdz::formats::pdf::test {
namespace {

using rdz::e2e::Scratch;
using rdz::kelt::Amount;

constexpr const char* kCmykSpot =
    "[/Separation /Corporate#20Green /DeviceCMYK << /FunctionType 2 /Domain [0 1] "
    "/C0 [0 0 0 0] /C1 [0.8 0 0.9 0.1] /N 1 >>]";

/// Halves every process amount; spot inks stay.
std::vector<Amount> HalveProcess(const std::vector<Amount>& in) {
    std::vector<Amount> out;
    for (Amount a : in) {
        if (INK_is_process(a.ink, nullptr)) {
            a.fraction /= 2;
        }
        out.push_back(a);
    }
    return out;
}

/// Every image definition converted by `pixel` (planes keep their inks).
void FakeConvertImages(document_object_t* doc, int (*pixel)(int)) {
    for (ct_def_t* definition : rdz::kelt::ImageDefinitions(doc)) {
        soa_t* inks = SOA_create(definition->nrInks);
        for (int i = 0; i < definition->nrInks; ++i) {
            SOA_set_object(inks, i, definition->inks[i]);
        }
        const int planes = CTI_nplanes(definition->internal);
        cti_image_t* image = CTI_create(300, 300, 0, definition->height, definition->width,
                                        definition->hasAlpha ? 17 : 1, 8, inks, 0, 0);
        const std::vector<std::uint8_t>& source = rdz::kelt::ImagePixels(definition->internal);
        const std::size_t row = static_cast<std::size_t>(definition->width * planes);
        for (int y = 0; y < definition->height; ++y) {
            std::vector<std::uint8_t> out(source.begin() + static_cast<long>(row * y),
                                          source.begin() + static_cast<long>(row * (y + 1)));
            for (std::size_t i = 0;
                 i < static_cast<std::size_t>(definition->width * definition->nrInks); ++i) {
                out[i] = static_cast<std::uint8_t>(pixel(out[i]));
            }
            CTI_putrow_line_il(image, out.data(), y, 0, 0);
        }
        CT_set_internal(definition, image);
    }
}

int Invert(int v) {
    return 255 - v;
}

class PdfWrite : public testing::Test {
  protected:
    std::string Path(const std::string& name) { return scratch_.Path(name); }
    /// Reads `pdf`, converts with `convert`, writes "out.pdf".
    std::string Convert(
        const TestPdf& pdf,
        const std::function<std::vector<Amount>(const std::vector<Amount>&)>& convert,
        int (*pixel)(int) = nullptr, const WriteSettings& settings = WriteSettings()) {
        pdf.Write(Path("in.pdf"));
        ReadPdf read = Read(Path("in.pdf"));
        FakeConvert(read.Doc(), convert);
        if (pixel != nullptr) {
            FakeConvertImages(read.Doc(), pixel);
        }
        messages_ = Write(read, Path("out.pdf"), settings);
        return Path("out.pdf");
    }
    Scratch scratch_;
    std::vector<rdz::kelt::Message> messages_;
};

TEST_F(PdfWrite, ConvertedColoursAreRewrittenTheRestKeepsItsBytes) {
    TestPdf pdf;
    pdf.AddPage("0.2 0.4 0.6 0.8 k 0 0 1 1 re f\n/Spot cs 0.5 scn f\n0.5 g 0 0.2 0 0 K S\n",
                std::string("<< /ColorSpace << /Spot ") + kCmykSpot + " >> >>");
    const std::string out = Convert(pdf, HalveProcess);
    EXPECT_EQ(PageContent(out, 1),
              "0.1 0.2 0.3 0.4 k 0 0 1 1 re f\n/Spot cs 0.5 scn f\n0 0 0 0.25 k 0 0.1 0 0 K S\n\n");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text,
              "PDF out.pdf: rewrote 3 colour operators, 0 shadings and 0 images");
    std::string check;
    EXPECT_EQ(RunTool({"qpdf", "--check", out}, &check), 0) << check;
}

TEST_F(PdfWrite, ASpotAloneKeepsItsSeparationMixesBecomeDeviceN) {
    TestPdf pdf;
    QPDFObjectHandle spot = pdf.Indirect(kCmykSpot);
    pdf.AddPage("/Spot cs 0.5 scn 0 0 1 1 re f 0.3 0 0 0 k f",
                "<< /ColorSpace << /Spot " + std::to_string(spot.getObjectID()) + " 0 R >> >>");
    // The spot's tint halves; cyan gains 80% of the spot.
    inkt_t* green = nullptr;
    const std::string out = Convert(pdf, [&](const std::vector<Amount>& in) {
        std::vector<Amount> result;
        for (Amount a : in) {
            if (InkNameOf(a.ink) == "Corporate Green") {
                green = a.ink;
                a.fraction = 0.25;
            }
            result.push_back(a);
        }
        if (result.size() == 4) {
            result.push_back({green, 0.8, 1});
        }
        return result;
    });
    // The spot alone: the file's own Separation space, under its own name.
    EXPECT_EQ(PageContent(out, 1),
              "/Spot cs /Spot cs 0.25 scn 0 0 1 1 re f /RdzCS1 cs 0.3 0 0 0 0.8 scn f\n");
    QPDF qpdf;
    qpdf.processFile(out.c_str());
    QPDFObjectHandle spaces = FirstPage(qpdf).getKey("/Resources").getKey("/ColorSpace");
    QPDFObjectHandle deviceN = spaces.getKey("/RdzCS1");
    EXPECT_EQ(deviceN.getArrayItem(1).unparse(),
              "[ /Cyan /Magenta /Yellow /Black /Corporate#20Green ]");
    EXPECT_EQ(deviceN.getArrayItem(2).getName(), "/DeviceCMYK");
    // The alternate lays the spot's CMYK over the process inks.
    auto tint = PdfFunction::Parse(deviceN.getArrayItem(3));
    const std::vector<double> cmyk = tint->Evaluate({0.3, 0.1, 0, 0.2, 0.5});
    const double green100[4] = {0.8, 0.0, 0.9, 0.1};
    const double process[4] = {0.3, 0.1, 0.0, 0.2};
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(cmyk[static_cast<std::size_t>(c)],
                    1 - (1 - process[c]) * (1 - 0.5 * green100[c]), 1e-3)
            << c;
    }
}

TEST_F(PdfWrite, AKeptColourGetsTheSpaceItWasSetInBack) {
    TestPdf pdf;
    pdf.AddPage("/Spot cs 0.5 scn 0 0 1 1 re f q 0.7 scn f Q 0.7 scn f",
                std::string("<< /ColorSpace << /Spot ") + kCmykSpot + " >> >>");
    // Only 50% of the spot changes (into process cyan).
    const std::string out = Convert(pdf, [](const std::vector<Amount>& in) {
        if (in.size() == 1 && in[0].fraction == 0.5) {
            rdz::kelt::InkSetup cyan;
            cyan.book = "Process";
            cyan.name = "Cyan";
            cyan.kinds = rdz::kelt::InkProcess;
            cyan.process = "CMYK";
            return std::vector<Amount>{{rdz::kelt::AddInk(TheDoc, cyan), 0.4, 1}};
        }
        return in;
    });
    EXPECT_EQ(PageContent(out, 1),
              "/Spot cs 0.4 0 0 0 k 0 0 1 1 re f q /Spot cs 0.7 scn f Q /Spot cs 0.7 scn f\n");
}

TEST_F(PdfWrite, ColoursInEveryKindOfContentAreRewritten) {
    TestPdf pdf;
    const std::string form = pdf.Stream("0.2 0 0 0 k 0 0 5 5 re f",
                                        "<< /Type /XObject /Subtype /Form /BBox [0 0 5 5] >>")
                                 .unparse();
    const std::string appearance =
        pdf.Stream("0.4 0 0 0 k 0 0 5 5 re f",
                   "<< /Type /XObject /Subtype /Form /BBox [0 0 5 5] /Resources << >> >>")
            .unparse();
    const std::string tile =
        pdf.Stream("0 0.6 0 0 k 0 0 2 2 re f",
                   "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 4 4] /XStep 4 "
                   "/YStep 4 /Resources << >> >>")
            .unparse();
    const std::string stencil =
        pdf.Stream("0 0 2 2 re f",
                   "<< /PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 4 4] "
                   "/XStep 4 /YStep 4 /Resources << >> >>")
            .unparse();
    const std::string glyph = pdf.Stream("5 0 d0 0 0 0.8 0 k 0 0 5 5 re f").unparse();
    QPDFObjectHandle page = pdf.AddPage(
        "/Fm Do /P1 cs /Tile scn 0 0 9 9 re f /P2 cs 0 0 0.2 0 /Stencil scn f "
        "BT /T3 1 Tf (a) Tj ET",
        "<< /XObject << /Fm " + form +
            " >> /ColorSpace << /P1 /Pattern /P2 [/Pattern "
            "/DeviceCMYK] >> /Pattern << /Tile " +
            tile + " /Stencil " + stencil +
            " >> /Font << /T3 << /Type /Font /Subtype /Type3 /FontBBox [0 0 5 5] "
            "/FontMatrix [1 0 0 1 0 0] /CharProcs << /a " +
            glyph +
            " >> /Encoding << "
            "/Differences [97 /a] >> /FirstChar 97 /LastChar 97 /Widths [5] >> >> >>");
    page.replaceKey("/Annots", pdf.Object("[<< /Type /Annot /Subtype /Square /Rect [0 0 5 5] "
                                          "/AP << /N " +
                                          appearance + " >> >>]"));
    const std::string out = Convert(pdf, HalveProcess);

    QPDF written;
    written.processFile(out.c_str());
    QPDFObjectHandle first = FirstPage(written);
    QPDFObjectHandle resources = first.getKey("/Resources");
    EXPECT_EQ(DecodeStream(resources.getKey("/XObject").getKey("/Fm"), 100),
              "0.1 0 0 0 k 0 0 5 5 re f");
    EXPECT_EQ(DecodeStream(first.getKey("/Annots").getArrayItem(0).getKey("/AP").getKey("/N"), 100),
              "0.2 0 0 0 k 0 0 5 5 re f");
    EXPECT_EQ(DecodeStream(resources.getKey("/Pattern").getKey("/Tile"), 100),
              "0 0.3 0 0 k 0 0 2 2 re f");
    QPDFObjectHandle font = resources.getKey("/Font").getKey("/T3");
    EXPECT_EQ(DecodeStream(font.getKey("/CharProcs").getKey("/a"), 100),
              "5 0 d0 0 0 0.4 0 k 0 0 5 5 re f");
    // The uncoloured pattern's colour, in a pattern space over DeviceCMYK.
    EXPECT_NE(PageContent(out, 1).find("/RdzCS1 cs 0 0 0.1 0 /Stencil scn f"), std::string::npos)
        << PageContent(out, 1);
    EXPECT_EQ(resources.getKey("/ColorSpace").getKey("/RdzCS1").unparseResolved(),
              "[ /Pattern /DeviceCMYK ]");
}

TEST_F(PdfWrite, TheInitialColourIsSetWhereContentPaintsWithIt) {
    TestPdf pdf;
    pdf.AddPage("0 0 1 1 re f 0.5 g f");
    const std::string out = Convert(pdf, HalveProcess);
    EXPECT_EQ(PageContent(out, 1), "0 0 0 0.5 k\n0 0 1 1 re f 0 0 0 0.25 k f\n");
}

TEST_F(PdfWrite, StreamsAndImagesTheConversionLeftKeepTheirBytes) {
    TestPdf pdf;
    QPDFObjectHandle page = pdf.AddPage("/Im Do");
    QPDFObjectHandle image = pdf.FlateStream(std::string(16, '\x40'),
                                             "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 "
                                             "/BitsPerComponent 8 /ColorSpace /DeviceCMYK >>");
    page.getKey("/Resources")
        .replaceKey("/XObject",
                    pdf.Object("<< /Im " + std::to_string(image.getObjectID()) + " 0 R >>"));
    QPDFObjectHandle contents = pdf.Object("[]");
    contents.appendItem(pdf.FlateStream("q 10 0 0 10 0 0 cm /Im Do Q"));
    contents.appendItem(pdf.Stream("0.2 0 0 0 k 0 0 1 1 re f"));
    page.replaceKey("/Contents", contents);
    const std::string out = Convert(pdf, HalveProcess);

    QPDF in, written;
    in.processFile(Path("in.pdf").c_str());
    written.processFile(out.c_str());
    QPDFObjectHandle before = FirstPage(in).getKey("/Contents");
    QPDFObjectHandle after = FirstPage(written).getKey("/Contents");
    ASSERT_TRUE(after.isArray());
    auto raw = [](QPDFObjectHandle stream) {
        std::shared_ptr<Buffer> data = stream.getRawStreamData();
        return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    };
    EXPECT_EQ(raw(after.getArrayItem(0)), raw(before.getArrayItem(0)));
    EXPECT_NE(raw(after.getArrayItem(1)), raw(before.getArrayItem(1)));
    EXPECT_EQ(DecodeStream(after.getArrayItem(1), 1000), "0.1 0 0 0 k 0 0 1 1 re f");
    // The image was read but not converted.
    QPDFObjectHandle imageAfter =
        FirstPage(written).getKey("/Resources").getKey("/XObject").getKey("/Im");
    EXPECT_EQ(raw(imageAfter),
              raw(FirstPage(in).getKey("/Resources").getKey("/XObject").getKey("/Im")));
}

TEST_F(PdfWrite, ConvertedImagesAreWrittenFlateCompressedInTheirSpace) {
    TestPdf pdf;
    QPDFObjectHandle image =
        pdf.Stream(std::string("\x00\x10\x20\x30\xff\x80\x40\x00", 8),
                   "<< /Type /XObject /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 "
                   "/ColorSpace /DeviceCMYK /Decode [1 0 0 1 0 1 0 1] >>");
    QPDFObjectHandle palette = pdf.Stream(std::string("\x40", 1),
                                          "<< /Type /XObject /Subtype /Image /Width 2 /Height 1 "
                                          "/BitsPerComponent 1 /ColorSpace [/Indexed /DeviceCMYK 1 "
                                          "<00000000ff800000>] >>");
    pdf.AddPage("q /Im Do /Pal Do BI /W 2 /H 1 /BPC 8 /CS /G ID \x10\xf0\nEI Q",
                "<< /XObject << /Im " + std::to_string(image.getObjectID()) + " 0 R /Pal " +
                    std::to_string(palette.getObjectID()) + " 0 R >> >>");
    const std::string out = Convert(pdf, HalveProcess, Invert);
    EXPECT_EQ(messages_.back().text,
              "PDF out.pdf: rewrote 1 colour operator, 0 shadings and 3 images");

    QPDF written;
    written.processFile(out.c_str());
    QPDFObjectHandle xobjects = FirstPage(written).getKey("/Resources").getKey("/XObject");
    QPDFObjectHandle im = xobjects.getKey("/Im");
    EXPECT_EQ(im.getDict().getKey("/Filter").unparse(), "/FlateDecode");
    EXPECT_FALSE(im.getDict().hasKey("/Decode"));
    EXPECT_EQ(DecodeStream(im, 100), std::string("\x00\xef\xdf\xcf\xff\x7f\xbf\xff", 8));
    // The table of an Indexed image is converted; its samples stay.
    QPDFObjectHandle pal = xobjects.getKey("/Pal");
    EXPECT_EQ(DecodeStream(pal, 100), "\x40");
    EXPECT_EQ(pal.getDict().getKey("/ColorSpace").unparse(),
              "[ /Indexed /DeviceCMYK 1 <ffffffff007fffff> ]");
    // The inline image: grey was black ink, inverted; now its converted
    // black in DeviceCMYK.
    ReadPdf again = Read(out);
    const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(again.Doc());
    ASSERT_EQ(definitions.size(), 3u);
    EXPECT_EQ(rdz::kelt::ImagePixels(definitions[2]->internal),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0x10, 0xf0}));
}

TEST_F(PdfWrite, AShadingFollowsItsConvertedSteps) {
    TestPdf pdf;
    pdf.AddPage("/Sh sh",
                "<< /Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 10 0] "
                "/Domain [0 2] /Function << /FunctionType 3 /Domain [0 2] /Bounds [1] "
                "/Encode [0 1 0 1] /Functions [<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
                "/C1 [1 0.5 0 0] /N 1 >> << /FunctionType 2 /Domain [0 1] /C0 [0 0 1 0] "
                "/C1 [0 0 0 1] /N 1 >>] >> >> >> >>");
    const std::string out = Convert(pdf, HalveProcess);
    QPDF written;
    written.processFile(out.c_str());
    QPDFObjectHandle shading =
        FirstPage(written).getKey("/Resources").getKey("/Shading").getKey("/Sh");
    EXPECT_EQ(shading.getKey("/ColorSpace").getName(), "/DeviceCMYK");
    auto function = PdfFunction::Parse(shading.getKey("/Function"));
    // Converted: half of the original, quantised to 1/255 by the steps.
    for (double t : {0.0, 0.3, 0.999, 1.0, 1.5, 2.0}) {
        const double c = t < 1 ? t : 0.0, m = t < 1 ? t / 2 : 0.0;
        const double y = t < 1 ? 0.0 : 2 - t, k = t < 1 ? 0.0 : t - 1;
        const std::vector<double> v = function->Evaluate({t});
        EXPECT_NEAR(v[0], c / 2, 1.0 / 255) << t;
        EXPECT_NEAR(v[1], m / 2, 1.0 / 255) << t;
        EXPECT_NEAR(v[2], y / 2, 1.0 / 255) << t;
        EXPECT_NEAR(v[3], k / 2, 1.0 / 255) << t;
    }
}

TEST_F(PdfWrite, TheOutputIntentFollowsTheColourSpace) {
    const std::string source = rdz::e2e::ReadText(rdz::e2e::DefaultCmykProfile());
    const std::string destination = rdz::e2e::ReadText(rdz::e2e::PsCmykProfile());
    auto make = [&](const OutputProfile& profile) {
        TestPdf pdf;
        QPDFObjectHandle icc = pdf.Stream(source, "<< /N 4 >>");
        pdf.Qpdf().getRoot().replaceKey(
            "/OutputIntents",
            pdf.Object("[<< /Type /OutputIntent /S /GTS_PDFX /OutputConditionIdentifier (Old) "
                       "/DestOutputProfile " +
                       std::to_string(icc.getObjectID()) + " 0 R >>]"));
        pdf.AddPage("0.2 0 0 0 k 0 0 1 1 re f");
        WriteSettings settings;
        settings.profile = profile;
        const std::string out = Convert(pdf, HalveProcess, nullptr, settings);
        QPDF written;
        written.processFile(out.c_str());
        QPDFObjectHandle intent = written.getRoot().getKey("/OutputIntents").getArrayItem(0);
        QPDFObjectHandle dest = intent.getKey("/DestOutputProfile");
        return std::make_pair(dest.isStream() ? DecodeStream(dest, 1 << 24) : std::string("none"),
                              intent.getKey("/OutputConditionIdentifier").getUTF8Value());
    };
    EXPECT_EQ(make(OutputProfile()), std::make_pair(source, std::string("Old")));
    OutputProfile changed;
    changed.changed = true;
    changed.icc.assign(destination.begin(), destination.end());
    changed.name = "ps_cmyk.icc";
    EXPECT_EQ(make(changed), std::make_pair(destination, std::string("ps_cmyk.icc")));
    OutputProfile unknown;
    unknown.changed = true;
    EXPECT_EQ(make(unknown).first, "none");
}

TEST_F(PdfWrite, AnEncryptedFileStaysEncrypted) {
    TestPdf pdf;
    pdf.AddPage("0.2 0 0 0 k 0 0 1 1 re f");
    pdf.Write(Path("in.pdf"), "", "owner secret");
    ReadPdf read = Read(Path("in.pdf"));
    FakeConvert(read.Doc(), HalveProcess);
    Write(read, Path("out.pdf"));
    QPDF written;
    written.processFile(Path("out.pdf").c_str());
    int R = 0, P = 0;
    EXPECT_TRUE(written.isEncrypted(R, P));
    EXPECT_EQ(R, 6);
    EXPECT_EQ(PageContent(Path("out.pdf"), 1), "0.1 0 0 0 k 0 0 1 1 re f\n");
}

}  // namespace
}  // namespace rdz::formats::pdf::test
