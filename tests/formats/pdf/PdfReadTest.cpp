// Reading PDF files into the document database: inks, paints, opacity
// masks, images, shadings, and what is left with a warning or refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "formats/Errors.h"
#include "formats/pdf/PdfFormat.h"
#include "platform/kelt/ImageStreams.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/formats/pdf/PdfTestSupport.h"

namespace rdz::formats::pdf::test {
namespace {

using Make = std::vector<std::pair<std::string, double>>;
using rdz::e2e::Scratch;

constexpr const char* kCmykSpot =
    "[/Separation /Corporate#20Green /DeviceCMYK << /FunctionType 2 /Domain [0 1] "
    "/C0 [0 0 0 0] /C1 [0.8 0 0.9 0.1] /N 1 >>]";

class PdfRead : public testing::Test {
  protected:
    std::string Save(const TestPdf& pdf, const std::string& name = "in.pdf") {
        const std::string path = scratch_.Path(name);
        pdf.Write(path);
        return path;
    }
    Scratch scratch_;
};

TEST(PdfFormat, IsRecognisedByItsHeader) {
    const PdfFormat pdf;
    EXPECT_TRUE(pdf.Recognises("a.bin", "%PDF-1.7\n%\xe2\xe3"));
    EXPECT_TRUE(pdf.Recognises("a.bin", std::string(500, 'x') + "%PDF-1.4"));
    EXPECT_FALSE(pdf.Recognises("a.pdf", "{\"name\": \"%PDF-1.4\"}"));
    EXPECT_FALSE(pdf.Recognises("a.pdf", "II*\0"));
    EXPECT_TRUE(pdf.Recognises("a.pdf", ""));
    EXPECT_TRUE(pdf.NamesOutput("OUT.PDF"));
    EXPECT_FALSE(pdf.NamesOutput("out.tif"));
    // The program tries TIFF, then PDF, then JSON.
    EXPECT_STREQ(FormatOfFile(GeneratedFolder() + "/spots.pdf")->Description(),
                 "a PDF file (.pdf)");
}

TEST_F(PdfRead, EveryInkSpaceGivesItsInks) {
    TestPdf pdf;
    QPDFObjectHandle tint = pdf.Stream("{pop pop 0 0 0}",
                                       "<< /FunctionType 4 /Domain [0 1 0 1 0 1] "
                                       "/Range [0 1 0 1 0 1 0 1] >>");
    const std::string resources =
        std::string("<< /ColorSpace << /Spot ") + kCmykSpot +
        " /Two [/DeviceN [/Cyan /Leaf /None] /DeviceCMYK " + std::to_string(tint.getObjectID()) +
        " 0 R] /Reg [/Separation /All /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
        "/C1 [1 1 1 1] /N 1 >>] /Idx [/Indexed /DeviceCMYK 1 <00000000ff800000>] "
        "/Known [/Separation /Known#20Spot /DeviceGray << /FunctionType 2 /Domain [0 1] /C0 [1] "
        "/C1 [0.5] /N 1 >>] >> >>";
    pdf.AddPage(
        "0.1 0.2 0.3 0.4 k 0 0 1 1 re f 0.25 g f /Spot cs 0.5 scn f "
        "/Two cs 0.3 0.7 0 scn f /Reg cs 1 scn f /Idx cs 1 sc f 0.5 0 0 rg f "
        "/Known cs 1 scn f 0.1 0.2 0.3 0.4 K S",
        resources);
    // A book that knows one of the spots.
    std::filesystem::create_directories(scratch_.Path("db/inkbooks"));
    rdz::e2e::WriteText(scratch_.Path("db/inkbooks/test.json"),
                        R"({"book": "Test Book", "inks": [{"name": "Known Spot",
                            "lab": [50, 60, 70], "opacity": 1.0}]})");
    ReadPdf read = Read(Save(pdf), scratch_.Path("db"));

    EXPECT_EQ(SolidMakeUps(read.Doc()),
              (std::vector<Make>{
                  {{"Cyan", 0.1}, {"Magenta", 0.2}, {"Yellow", 0.3}, {"Black", 0.4}},
                  {{"Black", 0.75}},
                  {{"Corporate Green", 0.5}},
                  {{"Cyan", 0.3}, {"Leaf", 0.7}},
                  {{"All", 1.0}},
                  {{"Cyan", 1.0}, {"Magenta", 128 / 255.0}, {"Yellow", 0.0}, {"Black", 0.0}},
                  {{"Known Spot", 1.0}},
              }));
    const std::vector<paint_t*> paints = rdz::kelt::Paints(read.Doc());
    EXPECT_TRUE(PAI_is_registration(paints[4]));
    EXPECT_FALSE(PAI_is_registration(paints[0]));

    std::map<std::string, inkt_t*> inks;
    for (inkt_t* ink : rdz::kelt::Inks(read.Doc())) {
        inks[InkNameOf(ink)] = ink;
    }
    EXPECT_EQ(inks.count("None"), 0u);
    EXPECT_TRUE(INK_is_process(inks.at("Cyan"), nullptr));
    EXPECT_TRUE(rdz::kelt::InkKinds(inks.at("All")) & rdz::kelt::InkRegistration);
    // An ink the books know takes its book and opacity; others are
    // transparent, their colour from the PDF: this green's alternate.
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(inks.at("Known Spot"), &book, &name);
    EXPECT_STREQ(book, "Test Book");
    EXPECT_TRUE(INK_is_opaque(inks.at("Known Spot")));
    EXPECT_FALSE(INK_is_opaque(inks.at("Corporate Green")));
    float rgb[3];
    INK_get_RGB(inks.at("Corporate Green"), rgb);
    EXPECT_GT(rgb[1], rgb[0] + 0.3f);
    EXPECT_GT(rgb[1], rgb[2] + 0.3f);

    EXPECT_EQ(read.Warnings(),
              std::vector<std::string>{scratch_.Path("in.pdf") +
                                       ": left as they are (not ink colours): 1 colour in "
                                       "DeviceRGB (first on page 1)"});
    // The report learns where.
    const std::vector<LeftAlone> left = read.document->LeftAloneParts();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].what, "colour");
    EXPECT_EQ(left[0].kind, "DeviceRGB");
    EXPECT_EQ(left[0].where, "page 1");
}

TEST_F(PdfRead, PaintsOfSoftMasksAreOpacityMaskContent) {
    TestPdf pdf;
    QPDFObjectHandle group = pdf.Stream(
        "0.2 0.3 0.4 0.5 k 0 0 10 10 re f",
        "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Group << /S /Transparency >> >>");
    pdf.AddPage("/GS0 gs 0.2 0.3 0.4 0.5 k 0 0 50 50 re f",
                "<< /ExtGState << /GS0 << /SMask << /S /Luminosity /G " +
                    std::to_string(group.getObjectID()) + " 0 R >> >> >> >>");
    ReadPdf read = Read(Save(pdf));
    // One paint for the colour, used as artwork and inside the mask.
    ASSERT_EQ(rdz::kelt::Paints(read.Doc()).size(), 1u);
    paint_t* paint = rdz::kelt::Paints(read.Doc())[0];
    int masks = 0;
    std::function<void(document_object_t*, bool)> walk = [&](document_object_t* object,
                                                             bool inMask) {
        for (attribute_t* attribute : rdz::kelt::Attributes(object)) {
            paint_info_t* info = ATR_get_paint_info(attribute);
            if (info->transparency != nullptr && info->transparency->mask != nullptr) {
                EXPECT_EQ(info->transparency->mask->maskKind, 22);
                EXPECT_TRUE(ATR_contains_alfa(attribute));
                ++masks;
                ASSERT_EQ(rdz::kelt::Children(info->transparency->mask->maskContent).size(), 1u);
                document_object_t* inside =
                    rdz::kelt::Children(info->transparency->mask->maskContent)[0];
                EXPECT_EQ(ATR_get_paint_info(rdz::kelt::Attributes(inside)[0])->paint, paint);
            }
        }
        for (document_object_t* child : rdz::kelt::Children(object)) {
            walk(child, inMask);
        }
    };
    walk(read.Doc(), false);
    EXPECT_EQ(masks, 1);
}

TEST_F(PdfRead, ImagesBecomeDefinitionsWithTheirPlanes) {
    TestPdf pdf;
    auto image = [&](const std::string& data, const std::string& keys) {
        return std::to_string(
                   pdf.Stream(data, "<< /Type /XObject /Subtype /Image /Height 1 " + keys + " >>")
                       .getObjectID()) +
               " 0 R";
    };
    const std::string mask =
        image("\x80\x40", "/Width 2 /BitsPerComponent 8 /ColorSpace /DeviceGray");
    const std::string resources =
        "<< /XObject << /Cmyk " +
        image(std::string("\x00\x10\x20\x30\xff\x80\x40\x00", 8),
              "/Width 2 /BitsPerComponent 8 /ColorSpace /DeviceCMYK /Decode [1 0 0 1 0 1 0 1] "
              "/SMask " +
                  mask) +
        " /Gray " +
        image(std::string("\x00\xff", 2), "/Width 2 /BitsPerComponent 8 /ColorSpace /DeviceGray") +
        " /Deep " +
        image(std::string(16, '\x10'), "/Width 2 /BitsPerComponent 16 /ColorSpace /DeviceCMYK") +
        " /Keyed " +
        image(std::string(8, '\x10'),
              "/Width 2 /BitsPerComponent 8 /ColorSpace /DeviceCMYK /Mask [0 9 0 9 0 9 0 9]") +
        " /Pal " +
        image(std::string("\x40", 1),
              "/Width 2 /BitsPerComponent 1 /ColorSpace [/Indexed /DeviceCMYK 1 "
              "<00000000ff800000>]") +
        " /Rgb " +
        image(std::string(6, '\x10'), "/Width 2 /BitsPerComponent 8 /ColorSpace /DeviceRGB") +
        " >> >>";
    pdf.AddPage("q 10 0 0 10 0 0 cm /Cmyk Do /Gray Do /Deep Do /Keyed Do /Pal Do /Rgb Do Q",
                resources);
    ReadPdf read = Read(Save(pdf));

    const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(read.Doc());
    ASSERT_EQ(definitions.size(), 3u);
    // Planes one after the other, the Decode array applied; the soft mask
    // is the alpha plane.
    EXPECT_TRUE(definitions[0]->hasAlpha);
    EXPECT_EQ(
        rdz::kelt::ImagePixels(definitions[0]->internal),
        (std::vector<std::uint8_t>{0xff, 0x00, 0x10, 0x80, 0x20, 0x40, 0x30, 0x00, 0x80, 0x40}));
    // Grey is black ink, inverted.
    ASSERT_EQ(definitions[1]->nrInks, 1);
    EXPECT_EQ(InkNameOf(definitions[1]->inks[0]), "Black");
    EXPECT_EQ(rdz::kelt::ImagePixels(definitions[1]->internal),
              (std::vector<std::uint8_t>{0xff, 0x00}));
    // An Indexed image lends its colour table: one row of hival + 1 pixels.
    EXPECT_EQ(definitions[2]->width, 2);
    EXPECT_EQ(definitions[2]->height, 1);
    EXPECT_EQ(rdz::kelt::ImagePixels(definitions[2]->internal),
              (std::vector<std::uint8_t>{0x00, 0xff, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00}));

    const std::vector<std::string> warnings = read.Warnings();
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_NE(warnings[0].find("image /Deep"), std::string::npos);
    EXPECT_NE(warnings[0].find("is left as it is: it has 16 bits per component"),
              std::string::npos);
    EXPECT_NE(warnings[1].find("image /Keyed"), std::string::npos);
    EXPECT_NE(warnings[1].find("colour-key mask"), std::string::npos);
    EXPECT_NE(warnings[2].find("1 image in DeviceRGB"), std::string::npos);
}

TEST_F(PdfRead, FlateImagesAreDecodedOnOtherCoresInTheirOrder) {
    TestPdf pdf;
    std::string xobjects;
    std::string content;
    for (int i = 0; i < 6; ++i) {
        std::string samples(4 * 3 * 2, static_cast<char>(i * 10));
        samples[0] = static_cast<char>(200 + i);
        QPDFObjectHandle image = pdf.FlateStream(
            samples,
            "<< /Type /XObject /Subtype /Image /Width 3 /Height 2 /BitsPerComponent 8 "
            "/ColorSpace /DeviceCMYK >>");
        xobjects += "/I" + std::to_string(i) + " " + image.unparse() + " ";
        content += "/I" + std::to_string(i) + " Do ";
    }
    // Stored data that is not Flate at all.
    QPDFObjectHandle broken =
        pdf.Stream("not deflated",
                   "<< /Type /XObject /Subtype /Image /Width 3 /Height 2 /BitsPerComponent 8 "
                   "/ColorSpace /DeviceCMYK /Filter /FlateDecode >>");
    pdf.AddPage(content + "/Broken Do",
                "<< /XObject << " + xobjects + "/Broken " + broken.unparse() + " >> >>");
    ReadPdf read = Read(Save(pdf));
    const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(read.Doc());
    ASSERT_EQ(definitions.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const std::vector<std::uint8_t>& pixels = rdz::kelt::ImagePixels(definitions[i]->internal);
        EXPECT_EQ(pixels[0], 200 + i) << i;
        EXPECT_EQ(pixels[1], i * 10) << i;
    }
    ASSERT_EQ(read.Warnings().size(), 1u);
    EXPECT_NE(read.Warnings()[0].find("image /Broken"), std::string::npos);
    EXPECT_NE(read.Warnings()[0].find("is left as it is: its data cannot be decoded"),
              std::string::npos)
        << read.Warnings()[0];
}

TEST_F(PdfRead, LargeFlateImagesAreDecodedOnlyWhenTheirRowsAreAskedFor) {
    // Grey (black ink, inverted) and CMYK with a Decode array, each over
    // 1 MiB of samples; the rows come out as planes through the same tables
    // as a small image's, in any order asked for.
    TestPdf pdf;
    std::string grey(1100 * 1000, '\0');
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = static_cast<char>(i * 7 % 251);
    }
    std::string cmyk(600 * 450 * 4, '\0');
    for (std::size_t i = 0; i < cmyk.size(); ++i) {
        cmyk[i] = static_cast<char>(i / 4 % 256 + i % 4 * 50);
    }
    QPDFObjectHandle g = pdf.FlateStream(
        grey,
        "<< /Type /XObject /Subtype /Image /Width 1100 /Height 1000 /BitsPerComponent 8 "
        "/ColorSpace /DeviceGray >>");
    QPDFObjectHandle k = pdf.FlateStream(
        cmyk,
        "<< /Type /XObject /Subtype /Image /Width 600 /Height 450 /BitsPerComponent 8 "
        "/ColorSpace /DeviceCMYK /Decode [1 0 0 1 0 1 0 1] >>");
    pdf.AddPage("/G Do /K Do",
                "<< /XObject << /G " + g.unparse() + " /K " + k.unparse() + " >> >>");
    const std::uint64_t held = rdz::kelt::HeldPixelBytes();
    ReadPdf read = Read(Save(pdf));
    EXPECT_TRUE(read.Warnings().empty());
    const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(read.Doc());
    ASSERT_EQ(definitions.size(), 2u);
    EXPECT_EQ(rdz::kelt::StorageOf(definitions[0]->internal), rdz::kelt::PixelStorage::Source);
    EXPECT_EQ(rdz::kelt::StorageOf(definitions[1]->internal), rdz::kelt::PixelStorage::Source);
    EXPECT_EQ(rdz::kelt::HeldPixelBytes(), held);

    // A row from the middle first, then the whole image.
    std::vector<unsigned char> row(600 * 4);
    ASSERT_EQ(rdz::kelt::ReadImageRow(definitions[1]->internal, 200, row.data()), 0);
    for (std::size_t x = 0; x < 600; ++x) {
        const std::size_t i = (200 * 600 + x) * 4;
        EXPECT_EQ(row[x], 255 - static_cast<unsigned char>(cmyk[i])) << x;
        EXPECT_EQ(row[600 + x], static_cast<unsigned char>(cmyk[i + 1])) << x;
        EXPECT_EQ(row[1800 + x], static_cast<unsigned char>(cmyk[i + 3])) << x;
    }
    const std::vector<std::uint8_t>& planes = rdz::kelt::ImagePixels(definitions[0]->internal);
    ASSERT_EQ(planes.size(), grey.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < grey.size(); ++i) {
        wrong += planes[i] != 255 - static_cast<unsigned char>(grey[i]) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(PdfRead, AnImageLargerThanTheMemoryLeftIsRefusedBeforeDecoding) {
    TestPdf pdf;
    QPDFObjectHandle image = pdf.Stream(
        "",
        "<< /Type /XObject /Subtype /Image /Width 40000 /Height 40000 /BitsPerComponent 8 "
        "/ColorSpace /DeviceCMYK >>");
    pdf.AddPage("/Im Do",
                "<< /XObject << /Im " + std::to_string(image.getObjectID()) + " 0 R >> >>");
    const std::string path = Save(pdf);
    const std::uint64_t budget = rdz::kelt::MemoryBudget();
    rdz::kelt::SetMemoryBudget(rdz::kelt::ReservedImageMemory() + (std::uint64_t{1} << 30));
    try {
        Read(path);
        ADD_FAILURE() << "read";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find(path + ": image /Im"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("needs 6103 MiB for its pixels, more than the "),
                  std::string::npos)
            << e.what();
    }
    rdz::kelt::SetMemoryBudget(budget);
}

TEST_F(PdfRead, AxialAndRadialShadingsAreVignettesOthersAreLeft) {
    TestPdf pdf;
    QPDFObjectHandle mesh =
        pdf.Stream("",
                   "<< /ShadingType 4 /ColorSpace /DeviceCMYK /BitsPerCoordinate 8 "
                   "/BitsPerComponent 8 /BitsPerFlag 8 /Decode [0 1 0 1 0 1 0 1 0 1 0 1] >>");
    QPDFObjectHandle sampled =
        pdf.Stream(std::string("\x00\xff", 2),
                   "<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 8 >>");
    const std::string resources =
        "<< /Shading << /Ax << /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 10 0] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 0 0 0.5] /N 1 >> >> "
        "/Rad << /ShadingType 3 /ColorSpace /DeviceGray /Coords [5 5 0 5 5 5] "
        "/Function << /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] /Functions "
        "[<< /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0.5] /N 1 >> << /FunctionType 2 "
        "/Domain [0 1] /C0 [0] /C1 [1] /N 1 >>] >> >> "
        "/Mesh " +
        std::to_string(mesh.getObjectID()) +
        " 0 R "
        "/Sampled << /ShadingType 2 /ColorSpace [/Separation /Ink /DeviceGray " +
        std::to_string(sampled.getObjectID()) + " 0 R] /Coords [0 0 1 0] /Function " +
        std::to_string(sampled.getObjectID()) +
        " 0 R >> "
        "/Rgb << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] /Function << "
        "/FunctionType 2 /Domain [0 1] /C0 [0 0 0] /C1 [1 1 1] /N 1 >> >> >> >>";
    pdf.AddPage("/Ax sh /Rad sh /Mesh sh /Sampled sh /Rgb sh /Ax sh", resources);
    ReadPdf read = Read(Save(pdf));

    const std::vector<paint_t*> paints = rdz::kelt::Paints(read.Doc());
    ASSERT_EQ(paints.size(), 2u);
    const std::vector<paint_t*> axial = rdz::kelt::VignetteSteps(paints[0]);
    ASSERT_EQ(axial.size(), 129u);  // one step per 1/128 of the largest change
    EXPECT_EQ(Named(rdz::kelt::SolidAmounts(axial.front())),
              (Make{{"Cyan", 0}, {"Magenta", 0}, {"Yellow", 0}, {"Black", 0}}));
    EXPECT_EQ(Named(rdz::kelt::SolidAmounts(axial[64])),
              (Make{{"Cyan", 0.5}, {"Magenta", 0}, {"Yellow", 0}, {"Black", 0.25}}));
    // Each part of a stitching is sampled from its start to its end, so
    // that the jump between them stays.
    const std::vector<paint_t*> radial = rdz::kelt::VignetteSteps(paints[1]);
    ASSERT_EQ(radial.size(), 65u + 129u);
    EXPECT_EQ(Named(rdz::kelt::SolidAmounts(radial[64])), (Make{{"Black", 0.5}}));
    EXPECT_EQ(Named(rdz::kelt::SolidAmounts(radial[65])), (Make{{"Black", 1.0}}));

    const std::vector<std::string> warnings = read.Warnings();
    ASSERT_EQ(warnings.size(), 3u);
    // (The object number is the one of the written file.)
    EXPECT_EQ(warnings[0].rfind(scratch_.Path("in.pdf") + ": shading /Mesh of page 1 ", 0), 0u);
    EXPECT_NE(warnings[0].find(" 0 R (type 4, free-form triangle mesh) is left as it is: only "
                               "axial and radial shadings are converted"),
              std::string::npos)
        << warnings[0];
    EXPECT_NE(warnings[1].find("shading /Sampled of page 1 is left as it is: only exponential"),
              std::string::npos)
        << warnings[1];
    EXPECT_NE(warnings[2].find("1 shading in DeviceRGB"), std::string::npos);
}

TEST_F(PdfRead, ContentThatCannotBeReadIsLeftWithAWarning) {
    TestPdf pdf;
    pdf.AddPage("0.1 0.2 0.3 0.4 k 0 0 1 1 re f");
    pdf.AddPage("0.5 0.5 0.5 0.5 k ] 0 0 1 1 re f");
    ReadPdf read = Read(Save(pdf));
    EXPECT_EQ(rdz::kelt::Paints(read.Doc()).size(), 1u);
    ASSERT_EQ(read.Warnings().size(), 1u);
    EXPECT_NE(read.Warnings()[0].find("the content of page 2 cannot be read (an array or "
                                      "dictionary end without its start at byte 18): it is "
                                      "left as it is"),
              std::string::npos)
        << read.Warnings()[0];
}

TEST_F(PdfRead, EncryptedFilesOpenOnlyWithoutAPassword) {
    TestPdf pdf;
    pdf.AddPage("0.1 0.2 0.3 0.4 k 0 0 1 1 re f");
    const std::string open = scratch_.Path("owner-only.pdf");
    pdf.Write(open, "", "owner secret");
    EXPECT_EQ(SolidMakeUps(Read(open).Doc()).size(), 1u);

    const std::string locked = scratch_.Path("locked.pdf");
    pdf.Write(locked, "user secret", "owner secret");
    try {
        Read(locked);
        FAIL() << "read";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()),
                  locked +
                      ": the PDF is encrypted and opens only with a password; it is not "
                      "converted");
    }
}

TEST_F(PdfRead, DamagedFilesAreRepairedOrRefused) {
    TestPdf pdf;
    pdf.AddPage("0.1 0.2 0.3 0.4 k 0 0 1 1 re f");
    const std::string path = Save(pdf);
    std::string bytes = rdz::e2e::ReadText(path);
    // A cross-reference table that points nowhere.
    bytes.replace(bytes.rfind("startxref") + 10, std::string::npos, "999999\n%%EOF\n");
    const std::string damaged = scratch_.Path("damaged.pdf");
    rdz::e2e::WriteText(damaged, bytes);
    ReadPdf read = Read(damaged);
    EXPECT_EQ(SolidMakeUps(read.Doc()).size(), 1u);
    ASSERT_EQ(read.Warnings().size(), 1u);
    EXPECT_EQ(read.Warnings()[0].rfind(damaged + ": the PDF is damaged; it was repaired while "
                                                 "reading (",
                                       0),
              0u)
        << read.Warnings()[0];

    const std::string garbage = scratch_.Path("garbage.pdf");
    rdz::e2e::WriteText(garbage, "%PDF-1.4\nnot a PDF at all\n");
    try {
        Read(garbage);
        FAIL() << "read";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(garbage + ": not a PDF that can be read: ", 0), 0u)
            << e.what();
    }
}

}  // namespace
}  // namespace rdz::formats::pdf::test
