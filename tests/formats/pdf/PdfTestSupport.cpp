#include "tests/formats/pdf/PdfTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <tiffio.h>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "formats/OutputFiles.h"
#include "formats/pdf/PdfFormat.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf::test {

TestPdf::TestPdf() : qpdf_(std::make_unique<QPDF>()) {
    qpdf_->emptyPDF();
}

QPDFObjectHandle TestPdf::Object(const std::string& text) {
    return QPDFObjectHandle::parse(qpdf_.get(), text);
}

QPDFObjectHandle TestPdf::Indirect(const std::string& text) {
    return qpdf_->makeIndirectObject(Object(text));
}

QPDFObjectHandle TestPdf::Stream(const std::string& data, const std::string& dictionary) {
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(qpdf_.get(), data);
    for (auto& item : Object(dictionary).ditems()) {
        stream.getDict().replaceKey(item.first, item.second);
    }
    return stream;
}

QPDFObjectHandle TestPdf::FlateStream(const std::string& data, const std::string& dictionary) {
    QPDFObjectHandle stream = Stream("", dictionary);
    std::string compressed;
    Pl_String out("test", nullptr, compressed);
    Pl_Flate flate("test", &out, Pl_Flate::a_deflate);
    flate.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    flate.finish();
    stream.replaceStreamData(compressed, QPDFObjectHandle::newName("/FlateDecode"),
                             QPDFObjectHandle::newNull());
    return stream;
}

QPDFObjectHandle TestPdf::AddPage(const std::string& content, const std::string& resources) {
    QPDFObjectHandle page = Indirect("<< /Type /Page /MediaBox [0 0 100 100] >>");
    page.replaceKey("/Resources", Object(resources));
    page.replaceKey("/Contents", Stream(content));
    QPDFPageDocumentHelper(*qpdf_).addPage(QPDFPageObjectHelper(page), false);
    return page;
}

void TestPdf::Write(const std::string& path, const std::string& user,
                    const std::string& owner) const {
    QPDFWriter writer(*qpdf_, path.c_str());
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setCompressStreams(false);
    writer.setStaticID(true);
    if (!user.empty() || !owner.empty()) {
        writer.setR6EncryptionParameters(user.c_str(), owner.c_str(), true, true, true, true, true,
                                         true, qpdf_r3p_full, true);
    }
    writer.write();
}

std::vector<std::string> ReadPdf::Warnings() const {
    std::vector<std::string> out;
    for (const rdz::kelt::Message& m : messages) {
        if (m.level == rdz::kelt::MessageLevel::Warning) {
            out.push_back(m.text);
        }
    }
    return out;
}

ReadPdf Read(const std::string& path, const std::string& books) {
    static std::map<std::string, InkBooks> loaded;
    auto found = loaded.find(books);
    if (found == loaded.end()) {
        found = loaded.emplace(books, InkBooks::Load(books)).first;
    }
    ReadSettings settings;
    settings.books = &found->second;
    ReadPdf read;
    rdz::kelt::RecordingMessageSink sink;
    read.document = PdfFormat().Read(path, settings);
    read.messages = sink.messages();
    return read;
}

std::vector<rdz::kelt::Message> Write(ReadPdf& read, const std::string& output,
                                      const WriteSettings& settings) {
    rdz::kelt::RecordingMessageSink sink;
    OutputFiles outputs;
    read.document->Write(output, output, outputs, settings);
    return sink.messages();
}

void FakeConvert(
    document_object_t* document,
    const std::function<std::vector<rdz::kelt::Amount>(const std::vector<rdz::kelt::Amount>&)>&
        convert) {
    std::vector<paint_t*> solids;
    for (paint_t* paint : rdz::kelt::Paints(document)) {
        if (PAI_get_vignet(paint) != nullptr) {
            for (paint_t* step : rdz::kelt::VignetteSteps(paint)) {
                solids.push_back(step);
            }
        } else {
            solids.push_back(paint);
        }
    }
    for (paint_t* paint : solids) {
        const std::vector<rdz::kelt::Amount> after = convert(rdz::kelt::SolidAmounts(paint));
        PAI_log_solids(paint);
        solid_t* solid = PAI_get_solid(paint);
        SL_make_empty(solid->inkAmounts, IA_release);
        for (const rdz::kelt::Amount& amount : after) {
            SL_append_after_last(solid->inkAmounts, IA_create(amount.ink, amount.fraction, 1));
        }
        PAO_set_changed(paint->paintObject);
    }
}

std::string InkNameOf(const inkt_t* ink) {
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(ink, &book, &name);
    return name;
}

std::vector<std::pair<std::string, double>> Named(const std::vector<rdz::kelt::Amount>& amounts) {
    std::vector<std::pair<std::string, double>> out;
    for (const rdz::kelt::Amount& amount : amounts) {
        out.emplace_back(InkNameOf(amount.ink), amount.fraction);
    }
    return out;
}

std::vector<std::vector<std::pair<std::string, double>>> SolidMakeUps(document_object_t* doc) {
    std::vector<std::vector<std::pair<std::string, double>>> out;
    for (paint_t* paint : rdz::kelt::Paints(doc)) {
        if (PAI_get_vignet(paint) == nullptr) {
            out.push_back(Named(rdz::kelt::SolidAmounts(paint)));
        }
    }
    return out;
}

std::string PageContent(const std::string& path, int page) {
    QPDF qpdf;
    qpdf.processFile(path.c_str());
    QPDFObjectHandle pageObject = qpdf.getAllPages().at(static_cast<std::size_t>(page - 1));
    QPDFObjectHandle contents = pageObject.getKey("/Contents");
    std::string out;
    std::vector<QPDFObjectHandle> parts;
    if (contents.isArray()) {
        for (int i = 0; i < contents.getArrayNItems(); ++i) {
            parts.push_back(contents.getArrayItem(i));
        }
    } else {
        parts.push_back(contents);
    }
    for (QPDFObjectHandle& part : parts) {
        out += DecodeStream(part, std::size_t{64} << 20) + "\n";
    }
    return out;
}

bool HaveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (access((folder + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

int RunTool(const std::vector<std::string>& args, std::string* output) {
    char name[] = "/tmp/rdz-pdf-tool-XXXXXX";
    const int fd = mkstemp(name);
    const pid_t child = fork();
    if (child == 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(fd);
    if (output != nullptr) {
        FILE* in = std::fopen(name, "rb");
        output->clear();
        char buffer[4096];
        std::size_t n = 0;
        while (in != nullptr && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            output->append(buffer, n);
        }
        if (in != nullptr) {
            std::fclose(in);
        }
    }
    unlink(name);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Raster ReadRaster(const std::string& path) {
    Raster raster;
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        return raster;
    }
    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 1, bits = 8;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    if (bits == 8) {
        raster.width = static_cast<int>(width);
        raster.height = static_cast<int>(height);
        raster.samples = samples;
        const std::size_t row = static_cast<std::size_t>(width) * samples;
        raster.pixels.resize(row * height);
        for (std::uint32_t y = 0; y < height; ++y) {
            TIFFReadScanline(tiff, raster.pixels.data() + row * y, y, 0);
        }
    }
    TIFFClose(tiff);
    return raster;
}

Raster Render(const std::string& pdf, const std::string& device, int dpi, const std::string& tiff) {
    std::string log;
    RunTool({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=" + device,
             "-r" + std::to_string(dpi), "-o", tiff, pdf},
            &log);
    return ReadRaster(tiff);
}

double Agreement(const Raster& a, const Raster& b, int tolerance) {
    if (a.width != b.width || a.height != b.height || a.samples != b.samples || a.width == 0) {
        return 0.0;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height);
    const std::size_t n = static_cast<std::size_t>(a.samples);
    std::size_t agree = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        bool same = true;
        for (std::size_t s = 0; s < n && same; ++s) {
            same = std::abs(int(a.pixels[i * n + s]) - int(b.pixels[i * n + s])) <= tolerance;
        }
        agree += same ? 1 : 0;
    }
    return static_cast<double>(agree) / static_cast<double>(pixels);
}

std::string GeneratedFolder() {
    return RDZ_PDF_TEST_FILES;
}

}  // namespace rdz::formats::pdf::test
