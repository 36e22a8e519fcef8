// Whole conversions of PDF files through the program, with the three
// methods, checked against Ghostscript's rendering and LittleCMS applied to
// it: the input rendered and converted with the same link must agree with
// the rendered output within 2/255 on at least 99.5% of the pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include <qpdf/QPDF.hh>

#include "formats/pdf/StreamData.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/formats/pdf/PdfTestSupport.h"

namespace rdz::formats::pdf::test {
namespace {

namespace fs = std::filesystem;
using rdz::e2e::CliRun;
using rdz::e2e::RunCli;

constexpr int kDpi = 72;
constexpr double kAgreement = 0.995;

class PdfConversion : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("gs") || !HaveTool("tificc") || !HaveTool("qpdf")) {
            GTEST_SKIP() << "Ghostscript, tificc (liblcms2-utils) or qpdf is missing";
        }
        if (!rdz::e2e::Exists(rdz::e2e::ExampleCmsDb() + "/processes/default_cmyk.icc")) {
            GTEST_SKIP() << "the example CMS database is not built (libgs-common missing)";
        }
        db_ = scratch_.Path("db");
        rdz::e2e::CopyFolder(rdz::e2e::ExampleCmsDb(), db_);
        link_ = scratch_.Path("link.icc");
        rdz::e2e::WriteDeviceLink(rdz::e2e::DefaultCmykProfile(), rdz::e2e::PsCmykProfile(), link_);
    }

    std::string Input(const std::string& name) {
        const std::string path = GeneratedFolder() + "/" + name;
        if (!rdz::e2e::Exists(path)) {
            ADD_FAILURE() << path << " was not made (python3-reportlab or Ghostscript missing?)";
        }
        return path;
    }

    /// Converts `input` with `method` (arguments), checks the output with
    /// qpdf and poppler, and gives its path.
    std::string Convert(const std::string& input, const std::vector<std::string>& method,
                        const std::string& output) {
        std::vector<std::string> args{"convert", "--cms", db_};
        args.insert(args.end(), method.begin(), method.end());
        args.insert(args.end(), {input, "-o", scratch_.Path(output)});
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0) << run.err;
        lastErr_ = run.err;
        std::string log;
        EXPECT_EQ(RunTool({"qpdf", "--check", scratch_.Path(output)}, &log), 0) << log;
        if (HaveTool("pdftoppm")) {
            EXPECT_EQ(RunTool({"pdftoppm", "-r", "18", "-png", scratch_.Path(output),
                               scratch_.Path(output + "-poppler")},
                              &log),
                      0)
                << log;
            EXPECT_EQ(log.find("Error"), std::string::npos) << log;
        }
        return scratch_.Path(output);
    }

    /// Agreement of the rendered output with the rendered input converted by
    /// tificc with `link`.
    double Oracle(const std::string& input, const std::string& output, const std::string& link) {
        const std::string name = fs::path(output).stem().string();
        Render(input, "tiff32nc", kDpi, scratch_.Path(name + "-in.tif"));
        std::string log;
        EXPECT_EQ(RunTool({"tificc", "-l", link, scratch_.Path(name + "-in.tif"),
                           scratch_.Path(name + "-expected.tif")},
                          &log),
                  0)
            << log;
        const Raster expected = ReadRaster(scratch_.Path(name + "-expected.tif"));
        const Raster got = Render(output, "tiff32nc", kDpi, scratch_.Path(name + "-out.tif"));
        const double agreement = Agreement(expected, got, 2);
        std::cout << "[ oracle   ] " << fs::path(input).filename().string() << " -> " << name
                  << ": " << agreement * 100.0 << "% of the pixels within 2/255\n";
        return agreement;
    }

    std::string db_;
    std::string link_;
    std::string lastErr_;  // what the last conversion said
    rdz::e2e::Scratch scratch_;
};

TEST_F(PdfConversion, DeviceLinkAgreesWithTificcOnTheSameLink) {
    for (const char* name : {"process.pdf", "gs-process.pdf"}) {
        SCOPED_TRACE(name);
        const std::string out =
            Convert(Input(name), {"--device-link", link_}, std::string("dl-") + name);
        EXPECT_GE(Oracle(Input(name), out, link_), kAgreement);
        if (std::string(name) == "process.pdf") {
            // Its JPEG image was converted: the summary says what it costs.
            EXPECT_NE(lastErr_.find("INFO: PDF dl-process.pdf: rewrote 15 colour operators, 2 "
                                    "shadings and 2 images; 1 converted JPEG (DCT) image is now "
                                    "Flate-compressed: "),
                      std::string::npos)
                << lastErr_;
        }
    }
}

TEST_F(PdfConversion, ProfileConversionAgreesWithTheLinkItStored) {
    for (const char* name : {"process.pdf", "gs-process.pdf"}) {
        SCOPED_TRACE(name);
        const std::string out =
            Convert(Input(name),
                    {"--profile", "--source", "default_cmyk.icc", "--destination", "ps_cmyk.icc"},
                    std::string("profile-") + name);
        std::string stored;
        for (const auto& entry : fs::recursive_directory_iterator(db_ + "/links")) {
            if (entry.path().extension() == ".icc") {
                stored = entry.path().string();
            }
        }
        ASSERT_FALSE(stored.empty()) << "no link stored";
        EXPECT_GE(Oracle(Input(name), out, stored), kAgreement);
    }
}

TEST_F(PdfConversion, AColorStrategyAgreesWithLittleCmsOnItsProfiles) {
    // "Coated to Uncoated": default_cmyk.icc to ps_cmyk.icc, relative
    // colorimetric with black point compensation.
    const std::string input = Input("process.pdf");
    const std::string out = Convert(input, {"--strategy", "Coated to Uncoated"}, "strategy.pdf");
    Raster in = Render(input, "tiff32nc", kDpi, scratch_.Path("strategy-in.tif"));
    in.pixels = rdz::e2e::ConvertCmyk(rdz::e2e::DefaultCmykProfile(), rdz::e2e::PsCmykProfile(), 1,
                                      true, in.pixels);
    const double agreement =
        Agreement(in, Render(out, "tiff32nc", kDpi, scratch_.Path("strategy-out.tif")), 2);
    std::cout << "[ oracle   ] process.pdf -> strategy: " << agreement * 100.0 << "%\n";
    EXPECT_GE(agreement, kAgreement);
}

TEST_F(PdfConversion, SpotPlatesStayUnderADeviceLinkAndEmptyUnderAStrategyThatConvertsThem) {
    struct Case {
        const char* file;
        std::vector<std::string> spots;
    };
    for (const Case& c : {Case{"spots.pdf", {"Corporate Green", "SPECTRA Orange C"}},
                          Case{"gs-devicen.pdf", {"Leaf", "SPECTRA Orange C"}}}) {
        SCOPED_TRACE(c.file);
        const std::string input = Input(c.file);
        const std::string stem = fs::path(c.file).stem().string();
        const std::string linked =
            Convert(input, {"--device-link", link_}, "dl-" + std::string(c.file));
        const std::string strategy =
            Convert(input, {"--strategy", "Coated to Uncoated"}, "cu-" + std::string(c.file));
        fs::create_directories(scratch_.Path("sep"));
        auto plates = [&](const std::string& pdf, const std::string& tag) {
            Render(pdf, "tiffsep", 36, scratch_.Path("sep/" + tag + ".tif"));
            return scratch_.Path("sep/" + tag);
        };
        const std::string before = plates(input, stem + "-in");
        const std::string afterLink = plates(linked, stem + "-dl");
        const std::string afterStrategy = plates(strategy, stem + "-cu");
        for (const std::string& spot : c.spots) {
            SCOPED_TRACE(spot);
            const Raster original = ReadRaster(before + "(" + spot + ").tif");
            ASSERT_GT(original.width, 0);
            const bool marked = std::any_of(original.pixels.begin(), original.pixels.end(),
                                            [](std::uint8_t v) { return v != 255; });
            EXPECT_TRUE(marked);
            EXPECT_EQ(ReadRaster(afterLink + "(" + spot + ").tif").pixels, original.pixels);
            const Raster converted = ReadRaster(afterStrategy + "(" + spot + ").tif");
            EXPECT_TRUE(std::all_of(converted.pixels.begin(), converted.pixels.end(),
                                    [](std::uint8_t v) { return v == 255; }));
        }
    }
}

TEST_F(PdfConversion, ColoursOfASoftMaskStayUnlessFlattened) {
    TestPdf pdf;
    QPDFObjectHandle group = pdf.Stream(
        "0.2 0.4 0.6 0 k 0 0 10 10 re f",
        "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Group << /S /Transparency >> >>");
    pdf.AddPage("/GS0 gs 0.2 0.4 0.6 0 k 0 0 50 50 re f",
                "<< /ExtGState << /GS0 << /SMask << /S /Luminosity /G " +
                    std::to_string(group.getObjectID()) + " 0 R >> >> >> >>");
    pdf.Write(scratch_.Path("masked.pdf"));
    auto mask = [&](const std::string& out) {
        QPDF written;
        written.processFile(out.c_str());
        QPDFObjectHandle resources = FirstPage(written).getKey("/Resources");
        QPDFObjectHandle group =
            resources.getKey("/ExtGState").getKey("/GS0").getKey("/SMask").getKey("/G");
        return DecodeStream(group, 1000);
    };
    // Without flattening the mask's paints are protected: the same colour
    // changes as artwork and stays in the mask.
    std::string out = Convert(scratch_.Path("masked.pdf"), {"--no-flatten", "--device-link", link_},
                              "masked-out.pdf");
    EXPECT_EQ(mask(out), "0.2 0.4 0.6 0 k 0 0 10 10 re f");
    EXPECT_EQ(PageContent(out, 1).find("0.2 0.4 0.6 0 k"), std::string::npos);
    // Flattening (the default) converts them with the rest.
    out = Convert(scratch_.Path("masked.pdf"), {"--device-link", link_}, "flattened-out.pdf");
    EXPECT_EQ(mask(out).find("0.2 0.4 0.6 0 k"), std::string::npos);
}

TEST_F(PdfConversion, DamagedAndLockedFilesThroughTheProgram) {
    TestPdf pdf;
    pdf.AddPage("0.2 0 0 0 k 0 0 1 1 re f");
    const std::string locked = scratch_.Path("locked.pdf");
    pdf.Write(locked, "user", "owner");
    CliRun run = RunCli({"convert", "--cms", db_, "--device-link", link_, locked, "-o",
                         scratch_.Path("locked-out.pdf")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(locked + ": the PDF is encrypted and opens only with a password"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(rdz::e2e::Exists(scratch_.Path("locked-out.pdf")));

    const std::string truncated = scratch_.Path("truncated.pdf");
    pdf.Write(truncated);
    std::string bytes = rdz::e2e::ReadText(truncated);
    rdz::e2e::WriteText(truncated, bytes.substr(0, bytes.rfind("xref")));
    run = RunCli({"convert", "--cms", db_, "--device-link", link_, truncated, "-o",
                  scratch_.Path("repaired.pdf")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("WARNING: " + truncated + ": the PDF is damaged; it was repaired"),
              std::string::npos)
        << run.err;

    rdz::e2e::WriteText(scratch_.Path("junk.pdf"), "%PDF-1.7\n1 0 obj << /Type /Catalog\n");
    run = RunCli({"convert", "--cms", db_, "--device-link", link_, scratch_.Path("junk.pdf"), "-o",
                  scratch_.Path("junk-out.pdf")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(scratch_.Path("junk.pdf") + ": not a PDF that can be read"),
              std::string::npos)
        << run.err;
}

/// The stored bytes of a stream.
std::string RawData(QPDFObjectHandle stream) {
    std::shared_ptr<Buffer> data = stream.getRawStreamData();
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

/// Samples of a CMYK image `width` wide and `height` high: smooth fields
/// with a little grain, different for each `seed`.
std::string CmykSamples(int width, int height, int seed) {
    std::string samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4,
                        '\0');
    std::uint32_t grain = 977u * static_cast<std::uint32_t>(seed + 1);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        grain = grain * 1664525u + 1013904223u;
        const std::size_t pixel = i / 4;
        const int x = static_cast<int>(pixel % static_cast<std::size_t>(width));
        const int y = static_cast<int>(pixel / static_cast<std::size_t>(width));
        const int c = static_cast<int>(i % 4);
        samples[i] = static_cast<char>((x * (c + 1) + y * (4 - c) + 40 * seed) / 3 % 256 +
                                       static_cast<int>(grain >> 31));
    }
    return samples;
}

TEST_F(PdfConversion, LargeImagesConvertTheSameDecodedAheadAndOnAnyThreads) {
    // Large Flate images are decoded while the conversion goes on; the same
    // samples stored without a filter are read whole. Both must give the
    // same converted pixels, and the file must be the same whatever the
    // thread count. A damaged large image is found only when converted: it
    // stays as it is, with a warning.
    constexpr int kWidth = 600;
    constexpr int kHeight = 450;  // 1.08 MB of samples: streamed
    const std::string dictionary =
        "<< /Type /XObject /Subtype /Image /Width 600 /Height 450 /BitsPerComponent 8 "
        "/ColorSpace /DeviceCMYK >>";
    TestPdf pdf;
    std::string xobjects;
    std::string content;
    for (int i = 0; i < 3; ++i) {
        const std::string samples = CmykSamples(kWidth, kHeight, i);
        const std::string flate = pdf.FlateStream(samples, dictionary).unparse();
        const std::string plain = pdf.Stream(samples, dictionary).unparse();
        xobjects += "/F" + std::to_string(i) + " " + flate + " /P" + std::to_string(i) + " " +
                    plain + " ";
        content += "/F" + std::to_string(i) + " Do /P" + std::to_string(i) + " Do ";
    }
    std::string damaged = RawData(pdf.FlateStream(CmykSamples(kWidth, kHeight, 7), dictionary));
    damaged.resize(damaged.size() / 2);  // ends half-way
    damaged += std::string(64, 'x');
    QPDFObjectHandle broken =
        pdf.Stream(damaged, dictionary.substr(0, dictionary.size() - 2) + "/Filter /FlateDecode >>");
    pdf.AddPage(content + "/Broken Do",
                "<< /XObject << " + xobjects + "/Broken " + broken.unparse() + " >> >>");
    const std::string input = scratch_.Path("large.pdf");
    pdf.Write(input);

    std::vector<std::string> outputs;
    for (const char* threads : {"1", "2"}) {
        // Not through Convert: poppler rightly complains of the damaged image.
        outputs.push_back(scratch_.Path(std::string("large-") + threads + ".pdf"));
        const CliRun run = RunCli({"convert", "--cms", db_, "--device-link", link_, "--threads",
                                   threads, input, "-o", outputs.back()});
        EXPECT_EQ(run.status, 0) << run.err;
        lastErr_ = run.err;
        const std::size_t warning = lastErr_.find("WARNING: " + input + ": image /Broken ");
        ASSERT_NE(warning, std::string::npos) << lastErr_;
        EXPECT_NE(lastErr_.find("is left as it is: it holds fewer rows than its height", warning),
                  std::string::npos)
            << lastErr_;
        EXPECT_NE(lastErr_.find("images 6 converted, 1 kept, 0 failed"), std::string::npos)
            << lastErr_;
    }
    // Byte for byte, but for the file identifier qpdf makes anew each time.
    const auto withoutId = [](std::string text) {
        const std::size_t id = text.rfind("/ID [");
        return id == std::string::npos ? text : text.erase(id, text.find(']', id) - id);
    };
    EXPECT_EQ(withoutId(rdz::e2e::ReadText(outputs[0])), withoutId(rdz::e2e::ReadText(outputs[1])));

    QPDF in;
    in.processFile(input.c_str());
    QPDF out;
    out.processFile(outputs[0].c_str());
    QPDFObjectHandle before = FirstPage(in).getKey("/Resources").getKey("/XObject");
    QPDFObjectHandle after = FirstPage(out).getKey("/Resources").getKey("/XObject");
    const std::size_t bytes = static_cast<std::size_t>(kWidth) * kHeight * 4;
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        const std::string flate = DecodeStream(after.getKey("/F" + n), bytes);
        EXPECT_EQ(flate.size(), bytes);
        EXPECT_NE(flate, DecodeStream(before.getKey("/F" + n), bytes)) << "not converted";
        EXPECT_EQ(flate, DecodeStream(after.getKey("/P" + n), bytes)) << n;
    }
    EXPECT_EQ(RawData(after.getKey("/Broken")), damaged);
}

TEST_F(PdfConversion, PreviewDrawsAPdf) {
    const CliRun run = RunCli({"preview", "--cms", db_, "--device-link", link_, Input("spots.pdf"),
                               "-o", scratch_.Path("preview.png")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(rdz::e2e::Exists(scratch_.Path("preview.png")));
}

}  // namespace
}  // namespace rdz::formats::pdf::test
