// Writing converted images back (declared in Images.h).
#include <algorithm>

#include "formats/pdf/ImageCompressor.h"
#include "formats/pdf/Images.h"
#include "formats/pdf/OutputSpaces.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

/// For each component of `target`, the plane of `definition` that holds it
/// (-1: none, written as zeros).
std::vector<int> ComponentPlanes(const TargetSpace& target, const ct_def_t* definition) {
    std::vector<int> planes;
    for (int j = 0; j < target.Components(); ++j) {
        int found = -1;
        for (int p = 0; p < definition->nrInks && found < 0; ++p) {
            inkt_t* ink = definition->inks[p];
            if (ink == nullptr) {
                continue;
            }
            if (target.kind == TargetSpace::Cmyk
                    ? InkTable::ProcessIndex(ink) == j
                    : ink == target.colorants[static_cast<std::size_t>(j)]) {
                found = p;
            }
        }
        planes.push_back(found);
    }
    return planes;
}

std::vector<inkt_t*> PlaneInks(const ct_def_t* definition) {
    return std::vector<inkt_t*>(definition->inks, definition->inks + definition->nrInks);
}

/// The converted colour table of an Indexed image: [/Indexed base hival table].
QPDFObjectHandle ConvertedIndexed(const TargetSpace& target, const ImageRecord& record) {
    const ct_def_t* definition = record.definition;
    const std::vector<std::uint8_t>& pixels = rdz::kelt::ImagePixels(definition->internal);
    const std::size_t entries = static_cast<std::size_t>(definition->width);
    const std::vector<int> planes = ComponentPlanes(target, definition);
    std::string table;
    for (std::size_t i = 0; i < entries; ++i) {
        for (int plane : planes) {
            table += static_cast<char>(
                plane < 0 ? 0 : pixels[static_cast<std::size_t>(plane) * entries + i]);
        }
    }
    QPDFObjectHandle space = QPDFObjectHandle::newArray();
    space.appendItem(QPDFObjectHandle::newName("/Indexed"));
    space.appendItem(target.space);
    space.appendItem(QPDFObjectHandle::newInteger(static_cast<long long>(entries) - 1));
    space.appendItem(QPDFObjectHandle::newString(table));
    return space;
}

std::string Hex(const std::string& data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2 + data.size() / 32 + 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(data[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
        if (i % 40 == 39) {
            out += '\n';
        }
    }
    return out + ">";
}

}  // namespace

std::string CompressedPixels(const TargetSpace& target, const ct_def_t* definition, bool predict) {
    const cti_image_t* image = definition->internal;
    const std::vector<std::uint8_t>& pixels = rdz::kelt::ImagePixels(image);
    const std::size_t width = static_cast<std::size_t>(definition->width);
    const std::size_t stride = width * static_cast<std::size_t>(CTI_nplanes(image));
    const std::vector<int> planes = ComponentPlanes(target, definition);
    const std::size_t n = planes.size();
    const std::size_t rowBytes = width * n;
    ImageDeflater deflater(rowBytes * static_cast<std::size_t>(definition->height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(definition->height); ++y) {
        const std::uint8_t* source = pixels.data() + y * stride;
        unsigned char* row = deflater.Next(rowBytes);
        for (std::size_t j = 0; j < n; ++j) {
            unsigned char* out = row + j;
            if (planes[j] < 0) {
                for (std::size_t x = 0; x < width; ++x, out += n) {
                    *out = 0;
                }
                continue;
            }
            const std::uint8_t* plane = source + static_cast<std::size_t>(planes[j]) * width;
            if (predict) {
                std::uint8_t before = 0;
                for (std::size_t x = 0; x < width; ++x, out += n) {
                    *out = static_cast<unsigned char>(plane[x] - before);
                    before = plane[x];
                }
            } else {
                for (std::size_t x = 0; x < width; ++x, out += n) {
                    *out = plane[x];
                }
            }
        }
    }
    return deflater.Finish();
}

bool ImageConverted(const ImageRecord& record) {
    return record.definition != nullptr && record.definition->internal != record.read &&
           record.definition->internal != nullptr;
}

int WriteImages(PdfCatalogue& c, OutputSpaces& spaces, ImageCompressor& compressor,
                long long& dctGrowth, int& dctCount) {
    int written = 0;
    for (ImageRecord& record : c.images) {
        if (!record.stream.isNull() && record.palette && ImageConverted(record)) {
            const TargetSpace& target = spaces.For(PlaneInks(record.definition));
            record.stream.getDict().replaceKey("/ColorSpace", ConvertedIndexed(target, record));
            ++written;
        }
    }
    for (ImageCompressor::Result& job : compressor.Finish()) {
        ImageRecord& record = *job.record;
        if (record.dct) {
            dctGrowth += static_cast<long long>(job.compressed.size()) -
                         static_cast<long long>(record.storedBytes);
            ++dctCount;
        }
        QPDFObjectHandle parameters = QPDFObjectHandle::newDictionary();
        parameters.replaceKey("/Predictor", QPDFObjectHandle::newInteger(2));
        parameters.replaceKey("/Colors", QPDFObjectHandle::newInteger(job.target->Components()));
        parameters.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(record.definition->width));
        record.stream.replaceStreamData(job.compressed, QPDFObjectHandle::newName("/FlateDecode"),
                                        parameters);
        QPDFObjectHandle dict = record.stream.getDict();
        dict.replaceKey("/ColorSpace", job.target->space);
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        dict.removeKey("/Decode");
        ++written;
    }
    return written;
}

std::string InlineImageText(PdfCatalogue& c, OutputSpaces& spaces, ContentUnit& unit,
                            ImageRecord& record) {
    if (!ImageConverted(record)) {
        return std::string();
    }
    const TargetSpace& target = spaces.For(PlaneInks(record.definition));
    if (record.palette) {
        const std::string name =
            spaces.ResourceName(unit, c.qpdf->makeIndirectObject(ConvertedIndexed(target, record)));
        QPDFObjectHandle parsed = QPDFObjectHandle::parse("<<" + record.inlineText + ">>");
        std::string text = "BI";
        for (auto& item : parsed.ditems()) {
            const bool space = item.first == "/CS" || item.first == "/ColorSpace";
            text += " " + QPDFObjectHandle::newName(item.first).unparse() + " " +
                    (space ? QPDFObjectHandle::newName(name).unparse() : item.second.unparse());
        }
        return text + " ID " + record.inlineData + "\nEI";
    }
    const std::string name = target.kind == TargetSpace::Cmyk
                                 ? std::string("/DeviceCMYK")
                                 : spaces.ResourceName(unit, target.space);
    std::string text = "BI /W " + std::to_string(record.definition->width) + " /H " +
                       std::to_string(record.definition->height) + " /BPC 8 /CS " +
                       QPDFObjectHandle::newName(name).unparse() + " /F [/AHx /Fl]";
    QPDFObjectHandle interpolate = record.inlineDictionary.getKey("/Interpolate");
    if (interpolate.isBool()) {
        text += std::string(" /I ") + (interpolate.getBoolValue() ? "true" : "false");
    }
    QPDFObjectHandle intent = record.inlineDictionary.getKey("/Intent");
    if (intent.isName()) {
        text += " /Intent " + intent.unparse();
    }
    return text + " ID\n" + Hex(CompressedPixels(target, record.definition, false)) + "\nEI";
}

}  // namespace rdz::formats::pdf
