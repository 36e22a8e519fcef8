// Document files: what is written is read back as the same document.
#include <gtest/gtest.h>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "formats/json/DocumentFile.h"
#include "platform/kelt/kelt_builder.h"
#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

using rdz::kelt::Amount;

/// Writes `document` as `<folder>/<name>.json` with its image files.
void Write(document_object_t* document, const Scratch& scratch, const std::string& name) {
    rdz::formats::OutputFiles outputs;
    const std::string path = scratch.Path(name + ".json");
    const std::string temporary = outputs.Add(path);
    rdz::formats::WriteDocumentFile(document, path, temporary, outputs, {}, nullptr);
    outputs.Commit();
}

/// A document with something of everything the format holds.
rdz::formats::DocumentPtr EverythingDocument() {
    rdz::formats::DocumentPtr document(rdz::kelt::NewDocument("Everything"));
    document_object_t* doc = document.get();
    rdz::kelt::SetColorSpace(doc, "ps_cmyk.icc", false);
    const std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(doc, "Process", "CMYK");
    rdz::kelt::InkSetup spot;
    spot.book = "SPECTRA Solid Coated";
    spot.name = "SPECTRA Gold C";
    spot.kinds = rdz::kelt::InkOpaque | rdz::kelt::InkUnregistered;
    spot.rgb[0] = 0.8f;
    spot.rgb[1] = 0.7f;
    spot.rgb[2] = 0.2f;
    spot.hasCromValues = true;
    spot.cromValues[0] = 0.1f;
    spot.cromValues[3] = 0.25f;
    spot.printingMethod = "screen";
    spot.inheritedValue = 0.5;
    spot.attribute = 7;
    inkt_t* gold = rdz::kelt::AddInk(doc, spot);
    rdz::kelt::InkSetup bookless;
    bookless.name = "Cyan";  // the same name as a process ink, without a book
    bookless.kinds = rdz::kelt::InkTechnical | rdz::kelt::InkVarnish;
    inkt_t* plain = rdz::kelt::AddInk(doc, bookless);
    rdz::kelt::InkSetup all;
    all.name = "All";
    all.kinds = rdz::kelt::InkRegistration;
    inkt_t* registration = rdz::kelt::AddInk(doc, all);

    paint_t* solid = rdz::kelt::AddSolid(doc, {{cmyk[0], 0.25, 1}, {gold, 1.0 / 3.0, 3}});
    paint_t* vignette =
        rdz::kelt::AddVignette(doc, {{{cmyk[1], 1.0, 1}}, {{cmyk[1], 0.5, 1}, {plain, 0.2, 1}}});
    PAI_set_registration(rdz::kelt::VignetteSteps(vignette)[1], 1);
    paint_t* mark = rdz::kelt::AddRegistrationPaint(doc, registration, 1.0);
    paint_t* grey = rdz::kelt::AddSolid(doc, {{cmyk[3], 0.5, 1}});

    rdz::kelt::ImageSetup photo;
    photo.inks = {cmyk[0], cmyk[1], cmyk[2], cmyk[3]};
    photo.width = 5;
    photo.height = 3;
    photo.alpha = true;
    photo.params[0] = 150;
    for (int i = 0; i < 5 * 3 * 5; ++i) {
        photo.pixels.push_back(static_cast<std::uint8_t>(i * 7));
    }
    ct_def_t* photoDefinition = rdz::kelt::AddImageDefinition(doc, photo);
    LAY_set_name(photoDefinition, "photo");
    rdz::kelt::ImageSetup grey2;
    grey2.inks = {nullptr, cmyk[3]};
    grey2.width = 2;
    grey2.height = 2;
    grey2.flags = 0x20000;
    grey2.monochrome = true;
    grey2.internal = false;
    grey2.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    ct_def_t* external = rdz::kelt::AddImageDefinition(doc, grey2);

    document_object_t* page = rdz::kelt::AddComponent(doc, "Page / 1");
    document_object_t* layer = rdz::kelt::AddLayer(page, "Layer");
    rdz::kelt::AddPath(layer, solid, "solid");
    document_object_t* group = rdz::kelt::AddGroup(layer, nullptr);
    attribute_t* masked = rdz::kelt::AddAttribute(rdz::kelt::AddPath(group), vignette, false);
    rdz::kelt::AddPath(rdz::kelt::AddOpacityMask(masked, 22), grey, "in the mask");
    rdz::kelt::AddAttribute(group, nullptr, true);
    rdz::kelt::AddImagePlacement(layer, photoDefinition, {solid, nullptr, nullptr, vignette});
    rdz::kelt::AddImagePlacement(layer, external);
    document_object_t* form = rdz::kelt::AddForm(layer, "form");
    rdz::kelt::AddPath(rdz::kelt::FormContent(form), mark);
    rdz::kelt::AddObject(doc, OBJ_KIND_CONTAINER, "loose");
    return document;
}

TEST(DocumentFormat, WritingReadingAndWritingAgainGivesTheSameFiles) {
    Scratch scratch;
    rdz::formats::DocumentPtr original = EverythingDocument();
    Write(original.get(), scratch, "first");

    rdz::formats::LoadedDocumentFile read =
        rdz::formats::ReadDocumentFile(scratch.Path("first.json"), nullptr);
    EXPECT_EQ(2u, read.pixelFiles.size());
    // External pixels stay external until something reads them (the writer does).
    EXPECT_TRUE(rdz::kelt::IsExternal(rdz::kelt::ImageDefinitions(read.document.get())[1]));
    Write(read.document.get(), scratch, "second");

    std::string first = ReadText(scratch.Path("first.json"));
    std::string second = ReadText(scratch.Path("second.json"));
    // The pixel files are named after the document.
    for (std::string* text : {&first, &second}) {
        for (std::size_t at; (at = text->find("\"first.")) != std::string::npos;) {
            text->replace(at, 7, "\"second.");
        }
    }
    EXPECT_EQ(first, second);

    // Pixels: the internal image, and the external one made internal to be read.
    const std::vector<ct_def_t*> before = rdz::kelt::ImageDefinitions(original.get());
    const std::vector<ct_def_t*> after = rdz::kelt::ImageDefinitions(read.document.get());
    ASSERT_EQ(2u, after.size());
    EXPECT_EQ(rdz::kelt::ImagePixels(CT_internal_handle(before[0])),
              rdz::kelt::ImagePixels(CT_internal_handle(after[0])));
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}),
              rdz::kelt::ImagePixels(CT_internal_handle(after[1])));

    // A few properties checked in the database itself rather than as text.
    const std::vector<paint_t*> paints = rdz::kelt::Paints(read.document.get());
    ASSERT_EQ(4u, paints.size());
    const std::vector<Amount> amounts = rdz::kelt::SolidAmounts(paints[0]);
    ASSERT_EQ(2u, amounts.size());
    EXPECT_EQ(1.0 / 3.0, amounts[1].fraction);
    EXPECT_EQ(3, amounts[1].flags);
    EXPECT_EQ(1, PAI_is_registration(rdz::kelt::VignetteSteps(paints[1])[1]));
    EXPECT_EQ(1, PAI_is_registration(paints[2]));
    inkt_t* gold = rdz::kelt::Inks(read.document.get())[4];
    EXPECT_EQ(std::string("screen"), gold->printingmethod);
    EXPECT_EQ(7, gold->attribute);
    EXPECT_EQ(0.25f, gold->cromValues[3]);
    EXPECT_EQ(1, DOC_is_colorspace_tagged(read.document.get()));
    EXPECT_EQ(0, DOC_is_colorspace_in_database(read.document.get()));
}

TEST(DocumentFormat, TheSampleReadsAndWritesBackUnchanged) {
    Scratch scratch;
    rdz::formats::LoadedDocumentFile sample =
        rdz::formats::ReadDocumentFile(ExamplesDir() + "/sample/sample.json", nullptr);
    Write(sample.document.get(), scratch, "a");
    rdz::formats::LoadedDocumentFile again =
        rdz::formats::ReadDocumentFile(scratch.Path("a.json"), nullptr);
    Write(again.document.get(), scratch, "b");
    std::string a = ReadText(scratch.Path("a.json"));
    for (std::size_t at; (at = a.find("\"a.")) != std::string::npos;) {
        a.replace(at, 3, "\"b.");
    }
    EXPECT_EQ(a, ReadText(scratch.Path("b.json")));
    EXPECT_EQ(ReadTiff(ExamplesDir() + "/sample/sample.photo.tif").pixels,
              ReadTiff(scratch.Path("b.photo.tif")).pixels);
}

TEST(DocumentFormat, ImageFilesNeverTakeTheNameOfAFileToAvoid) {
    Scratch scratch;
    rdz::formats::DocumentPtr document = EverythingDocument();
    Write(document.get(), scratch, "doc");
    const std::string photo = ReadText(scratch.Path("doc.photo.tif"));

    rdz::formats::LoadedDocumentFile read =
        rdz::formats::ReadDocumentFile(scratch.Path("doc.json"), nullptr);
    rdz::formats::OutputFiles outputs;
    const std::string target = scratch.Path("doc2.json");
    const std::string temporary = outputs.Add(target);
    std::vector<std::string> avoid = read.pixelFiles;
    avoid.push_back(scratch.Path("doc2.photo.tif"));
    rdz::formats::WriteDocumentFile(read.document.get(), target, temporary, outputs, avoid,
                                    nullptr);
    outputs.Commit();
    EXPECT_TRUE(Exists(scratch.Path("doc2.photo-2.tif")));
    EXPECT_FALSE(Exists(scratch.Path("doc2.photo.tif")));
    EXPECT_EQ(photo, ReadText(scratch.Path("doc.photo.tif")));
}

}  // namespace
}  // namespace rdz::e2e
