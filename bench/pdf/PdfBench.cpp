// A 20-page PDF with 20,000 colour operators and ten 3000 x 3000 CMYK images
// converted with the ICC device-link converter. One run measures the PDF
// work (reading: parsing, walking the content, decoding the images; writing:
// rewriting the content, compressing the converted images, writing the
// file) against the library's conversion of the same document, and
// Ghostscript's pdfwrite on the same file (what a user would run instead to
// rewrite a PDF; it converts no colours).
//
//   bench_pdf --benchmark_counters_tabular=true
//
// Every round runs the library alone on the same document (read from the
// PDF, its images brought whole into memory beforehand, untimed; the same
// converter on one thread), the whole PDF conversion as the program does it,
// the two in alternating order, and then Ghostscript. Counters, in seconds
// of elapsed time: read_s, write_s (setting up the output before the
// conversion and what is left to write after it), convert_s (the conversion
// while the PDF work goes on on other cores: large images decoded ahead,
// converted ones compressed), library_s (the library alone), gs_pdfwrite_s;
// pdf_overhead_% = (read + convert + write - library) / library x 100, what
// the PDF work costs on top of the library's conversion; ratio_vs_gs =
// (read + convert + write) / gs. In processor time: cpu_s (every thread of
// the PDF conversion), cpu_convert_s (its converting thread), cpu_library_s
// (the library alone, its converting thread), cpu_overhead_% = (cpu -
// cpu_library) / cpu_library x 100 (all the PDF work, on whatever core it
// ran), cpu_ratio_vs_gs (Ghostscript's is its child process's). A busy
// machine blurs the elapsed figures and much less the processor ones. The
// file is made once (qpdf, Flate) under the temporary folder.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "formats/InkBooks.h"
#include "formats/OutputFiles.h"
#include "formats/pdf/PdfFormat.h"
#include "platform/kelt/kelt_builder.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPages = 20;
constexpr int kOperatorsPerPage = 1000;
constexpr int kImages = 10;
constexpr int kSide = 3000;
/// Rounds; each prints its figures, then their median and the others.
constexpr int kRounds = 3;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Processor time of this process (all threads).
double Cpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// Processor time of this thread.
double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// Processor time of the finished child processes.
double ChildCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

fs::path Folder() {
    const fs::path folder = fs::temp_directory_path() / "rdz-bench-pdf";
    fs::create_directories(folder);
    return folder;
}

fs::path MakeLink() {
    const fs::path file = Folder() / "link.icc";
    cmsHPROFILE src = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/default_cmyk.icc", "r");
    cmsHPROFILE dst = cmsOpenProfileFromFile(RDZ_GS_ICC_DIR "/ps_cmyk.icc", "r");
    cmsHTRANSFORM t =
        cmsCreateTransform(src, TYPE_CMYK_8, dst, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(t, 4.3, 0);
    cmsSaveProfileToFile(link, file.string().c_str());
    cmsCloseProfile(link);
    cmsDeleteTransform(t);
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
    return file;
}

/// A photograph-like CMYK image: smooth fields with a little grain, which
/// Flate compresses about as it compresses photographs.
std::string ImagePixels(int index) {
    std::string pixels(static_cast<std::size_t>(kSide) * kSide * 4, '\0');
    std::uint32_t grain = 12345u + static_cast<std::uint32_t>(index);
    std::size_t at = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            for (int c = 0; c < 4; ++c) {
                grain = grain * 1664525u + 1013904223u;
                const double field = 0.5 + 0.35 * std::sin((x + 300 * c + 50 * index) / 410.0) *
                                               std::cos((y - 200 * c) / 530.0);
                const int value = static_cast<int>(field * 255) + static_cast<int>(grain >> 30) - 2;
                pixels[at++] = static_cast<char>(std::clamp(value, 0, 255));
            }
        }
    }
    return pixels;
}

std::string Flate(const std::string& data) {
    std::string out;
    Pl_String sink("bench", nullptr, out);
    Pl_Flate flate("bench", &sink, Pl_Flate::a_deflate);
    flate.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    flate.finish();
    return out;
}

fs::path MakePdf() {
    const fs::path file = Folder() / "bench.pdf";
    if (fs::exists(file)) {
        return file;
    }
    Pl_Flate::setCompressionLevel(-1);
    QPDF qpdf;
    qpdf.emptyPDF();
    QPDFObjectHandle spot = qpdf.makeIndirectObject(QPDFObjectHandle::parse(
        "[/Separation /Bench#20Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] "
        "/C0 [0 0 0 0] /C1 [0.1 0.8 0.2 0] /N 1 >>]"));
    for (int page = 0; page < kPages; ++page) {
        std::string content;
        for (int i = 0; i < kOperatorsPerPage; ++i) {
            const int colour = (page * kOperatorsPerPage + i) % 400;
            char text[160];
            if (colour % 8 == 7) {
                std::snprintf(text, sizeof text, "/Spot cs %.3f scn %d %d 10 10 re f\n",
                              (colour % 40) / 40.0, i % 50 * 12, i / 50 * 12);
            } else {
                std::snprintf(text, sizeof text, "%.3f %.3f %.3f %.3f k %d %d 10 10 re f\n",
                              (colour % 7) / 7.0, (colour % 11) / 11.0, (colour % 5) / 5.0,
                              (colour % 3) / 3.0, i % 50 * 12, i / 50 * 12);
            }
            content += text;
        }
        QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /ColorSpace << >> >>");
        resources.getKey("/ColorSpace").replaceKey("/Spot", spot);
        if (page < kImages) {
            QPDFObjectHandle image = QPDFObjectHandle::newStream(&qpdf);
            image.replaceStreamData(Flate(ImagePixels(page)),
                                    QPDFObjectHandle::newName("/FlateDecode"),
                                    QPDFObjectHandle::newNull());
            image.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            image.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
            image.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(kSide));
            image.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(kSide));
            image.getDict().replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
            image.getDict().replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceCMYK"));
            resources.replaceKey("/XObject", QPDFObjectHandle::parse("<< >>"));
            resources.getKey("/XObject").replaceKey("/Im", image);
            content += "q 600 0 0 600 0 0 cm /Im Do Q\n";
        }
        QPDFObjectHandle pageObject = qpdf.makeIndirectObject(
            QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
        pageObject.replaceKey("/Resources", resources);
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&qpdf);
        stream.replaceStreamData(Flate(content), QPDFObjectHandle::newName("/FlateDecode"),
                                 QPDFObjectHandle::newNull());
        pageObject.replaceKey("/Contents", stream);
        QPDFPageDocumentHelper(qpdf).addPage(QPDFPageObjectHelper(pageObject), false);
    }
    QPDFWriter writer(qpdf, file.string().c_str());
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.write();
    return file;
}

/// Converts `document` with the device link; returns the converting
/// thread's processor time.
double ConvertDocument(document_object_t* document, const fs::path& link) {
    TGeneralColorConverterOptions general;
    TReseparateOptions options;
    options.SetRodadazErivoSpace(true);
    options.SetIccDeviceLink(link.string());
    const double threadCpu = ThreadCpu();
    TColorConverter_IccDeviceLink converter(document, general, options);
    converter.Convert();
    return ThreadCpu() - threadCpu;
}

struct Round {
    double read = 0, convert = 0, write = 0, library = 0, gs = 0;
    double cpu = 0, convertCpu = 0, libraryCpu = 0, gsCpu = 0;
};

/// The library alone: the same document, read from the PDF and its images
/// brought whole into memory beforehand (not timed), converted the same way.
void LibraryAlone(const fs::path& input, const fs::path& link,
                  const rdz::formats::InkBooks& books, Round& round) {
    rdz::kelt::RecordingMessageSink quiet;
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    std::unique_ptr<rdz::formats::FormatDocument> document =
        rdz::formats::PdfFormat().Read(input.string(), settings);
    for (ct_def_t* definition : rdz::kelt::ImageDefinitions(document->Document())) {
        rdz::kelt::ImagePixels(definition->internal);
    }
    const auto start = std::chrono::steady_clock::now();
    round.libraryCpu = ConvertDocument(document->Document(), link);
    round.library = Since(start);
}

/// Reading, converting and writing the PDF as the program does.
void WholePdf(const fs::path& input, const fs::path& link, const fs::path& output,
              const rdz::formats::InkBooks& books, Round& round) {
    rdz::kelt::RecordingMessageSink quiet;
    rdz::formats::ReadSettings settings;
    settings.books = &books;
    const double cpu = Cpu();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<rdz::formats::FormatDocument> document =
        rdz::formats::PdfFormat().Read(input.string(), settings);
    round.read = Since(start);

    // As the program does: the output is prepared before the conversion
    // (converted images are compressed on another core meanwhile); counted
    // as writing.
    start = std::chrono::steady_clock::now();
    rdz::formats::OutputFiles outputs;
    const rdz::formats::WriteSettings writeSettings;
    document->PrepareOutput(output.string(), output.string(), outputs, writeSettings);
    round.write = Since(start);

    start = std::chrono::steady_clock::now();
    round.convertCpu = ConvertDocument(document->Document(), link);
    round.convert = Since(start);

    start = std::chrono::steady_clock::now();
    document->Write(output.string(), output.string(), outputs, writeSettings);
    round.write += Since(start);
    round.cpu = Cpu() - cpu;
}

void PdfDeviceLink(benchmark::State& state) {
    const fs::path input = MakePdf();
    const fs::path link = MakeLink();
    const fs::path output = Folder() / "out.pdf";
    rdz::cms::SetDatabaseFolder(RDZ_EXAMPLE_CMSDB);
    const rdz::formats::InkBooks books = rdz::formats::InkBooks::Load(RDZ_EXAMPLE_CMSDB);
    static int roundNumber = 0;
    Round round;
    for (auto _ : state) {
        // The library alone first in every other round.
        if (roundNumber % 2 == 0) {
            LibraryAlone(input, link, books, round);
            WholePdf(input, link, output, books, round);
        } else {
            WholePdf(input, link, output, books, round);
            LibraryAlone(input, link, books, round);
        }
        ++roundNumber;
        state.SetIterationTime(round.read + round.convert + round.write);

        const auto start = std::chrono::steady_clock::now();
        const double child = ChildCpu();
        const std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o '" +
                                    (Folder() / "gs.pdf").string() + "' '" + input.string() + "'";
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("Ghostscript failed");
        }
        round.gs = Since(start);
        round.gsCpu = ChildCpu() - child;
    }
    const double total = round.read + round.convert + round.write;
    state.counters["read_s"] = round.read;
    state.counters["convert_s"] = round.convert;
    state.counters["write_s"] = round.write;
    state.counters["library_s"] = round.library;
    state.counters["pdf_overhead_%"] = (total - round.library) / round.library * 100.0;
    state.counters["gs_pdfwrite_s"] = round.gs;
    state.counters["ratio_vs_gs"] = total / round.gs;
    state.counters["cpu_s"] = round.cpu;
    state.counters["cpu_convert_s"] = round.convertCpu;
    state.counters["cpu_library_s"] = round.libraryCpu;
    state.counters["cpu_overhead_%"] = (round.cpu - round.libraryCpu) / round.libraryCpu * 100.0;
    state.counters["cpu_ratio_vs_gs"] = round.cpu / round.gsCpu;
    state.counters["in_MB"] = static_cast<double>(fs::file_size(input)) / 1e6;
    state.counters["out_MB"] = static_cast<double>(fs::file_size(output)) / 1e6;
    rdz::cms::SetDatabaseFolder("");
}

}  // namespace

BENCHMARK(PdfDeviceLink)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRounds);

BENCHMARK_MAIN();
