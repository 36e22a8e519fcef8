#include "formats/pdf/Images.h"

#include <algorithm>
#include <cmath>

#include <qpdf/Pipeline.hh>

#include "formats/Errors.h"
#include "formats/pdf/ContentTokens.h"
#include "formats/pdf/ImageDecoder.h"
#include "formats/pdf/ImageRows.h"
#include "formats/pdf/ImageStreamer.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

/// Stored images larger than this are decoded as they are read instead.
constexpr std::size_t kMaxStoredImageBytes = std::size_t{512} << 20;

/// The full names of the abbreviations inline images use.
std::string FullKey(const std::string& key) {
    static const char* const kKeys[][2] = {
        {"/W", "/Width"},       {"/H", "/Height"},     {"/BPC", "/BitsPerComponent"},
        {"/CS", "/ColorSpace"}, {"/D", "/Decode"},     {"/DP", "/DecodeParms"},
        {"/F", "/Filter"},      {"/IM", "/ImageMask"}, {"/I", "/Interpolate"},
        {"/L", "/Length"}};
    for (const auto& pair : kKeys) {
        if (key == pair[0]) {
            return pair[1];
        }
    }
    return key;
}

QPDFObjectHandle FullFilter(QPDFObjectHandle filter) {
    static const char* const kFilters[][2] = {
        {"/AHx", "/ASCIIHexDecode"}, {"/A85", "/ASCII85Decode"},  {"/LZW", "/LZWDecode"},
        {"/Fl", "/FlateDecode"},     {"/RL", "/RunLengthDecode"}, {"/CCF", "/CCITTFaxDecode"},
        {"/DCT", "/DCTDecode"}};
    auto full = [&](QPDFObjectHandle name) {
        for (const auto& pair : kFilters) {
            if (name.isName() && name.getName() == pair[0]) {
                return QPDFObjectHandle::newName(pair[1]);
            }
        }
        return name;
    };
    if (filter.isArray()) {
        QPDFObjectHandle out = QPDFObjectHandle::newArray();
        for (int i = 0; i < filter.getArrayNItems(); ++i) {
            out.appendItem(full(filter.getArrayItem(i)));
        }
        return out;
    }
    return full(filter);
}

std::vector<std::string> FilterNames(QPDFObjectHandle filter) {
    std::vector<std::string> names;
    if (filter.isName()) {
        names.push_back(filter.getName());
    } else if (filter.isArray()) {
        for (int i = 0; i < filter.getArrayNItems(); ++i) {
            names.push_back(NameOf(filter.getArrayItem(i)));
        }
    }
    return names;
}

/// The sample tables of an 8-bit image: the Decode array's range mapped
/// back onto 0..255, inverted for grey.
SampleTables MakeSampleTables(const InkSpace& space, const std::vector<double>& decode) {
    SampleTables tables(static_cast<std::size_t>(space.components));
    for (std::size_t p = 0; p < tables.size(); ++p) {
        const double low = decode.size() == tables.size() * 2 ? decode[2 * p] : 0.0;
        const double high = decode.size() == tables.size() * 2 ? decode[2 * p + 1] : 1.0;
        for (int s = 0; s < 256; ++s) {
            double v = std::clamp(low + s * (high - low) / 255.0, 0.0, 1.0);
            if (space.family == InkSpace::Gray) {
                v = 1.0 - v;
            }
            tables[p][static_cast<std::size_t>(s)] =
                static_cast<unsigned char>(std::lround(v * 255.0));
        }
    }
    return tables;
}

struct Source {
    QPDFObjectHandle dict;    // the image's dictionary (inline: keys in full)
    QPDFObjectHandle stream;  // what qpdf decodes
    bool isInline = false;
    std::string inlineData;
};

ImageUse ReadSource(PdfCatalogue& c, const Source& source, QPDFObjectHandle resources, int page,
                    const std::string& where) {
    ImageUse use;
    QPDFObjectHandle dict = source.dict;
    if (BoolOf(dict.getKey("/ImageMask"), false)) {
        use.stencil = true;
        return use;
    }
    const int width = IntegerOf(dict.getKey("/Width"), 0);
    const int height = IntegerOf(dict.getKey("/Height"), 0);
    const int bits = IntegerOf(dict.getKey("/BitsPerComponent"), 0);
    InkSpacePtr space =
        c.spaces.Resolve(dict.getKey("/ColorSpace"), resources, source.isInline, where);
    const InkSpace* inks = space->family == InkSpace::Indexed ? space->base.get() : space.get();
    if (inks != nullptr && inks->family == InkSpace::Other) {
        c.notes.Left("image", (space->family == InkSpace::Indexed ? "Indexed " : "") + inks->kind,
                     where);
        return use;
    }
    if (!space->HasInks() || space->family == InkSpace::Pattern) {
        c.notes.Warn(where + " is left as it is: " +
                     (space->fault.empty() ? "its colour space has no inks" : space->fault));
        return use;
    }
    if (width <= 0 || height <= 0 || width > 1000000 || height > 1000000) {
        c.notes.Warn(where + " is left as it is: its size is " + std::to_string(width) + " x " +
                     std::to_string(height));
        return use;
    }
    ImageRecord record;
    record.where = where;
    record.space = space;
    record.stream = source.isInline ? QPDFObjectHandle::newNull() : source.stream;
    record.inlineDictionary = source.isInline ? dict : QPDFObjectHandle::newNull();
    if (space->family == InkSpace::Indexed) {
        // The colour table is the image to convert; the samples stay.
        record.palette = true;
        rdz::kelt::ImageSetup setup;
        setup.inks = space->base->inks;
        setup.width = space->hival + 1;
        setup.height = 1;
        const std::size_t n = static_cast<std::size_t>(space->base->components);
        setup.pixels.resize(n * static_cast<std::size_t>(setup.width));
        for (std::size_t i = 0; i < static_cast<std::size_t>(setup.width); ++i) {
            for (std::size_t p = 0; p < n; ++p) {
                unsigned char v = space->lookup[i * n + p];
                if (space->base->family == InkSpace::Gray) {
                    v = static_cast<unsigned char>(255 - v);
                }
                setup.pixels[p * static_cast<std::size_t>(setup.width) + i] = v;
            }
        }
        try {
            record.definition = rdz::kelt::AddImageDefinition(c.slots.Document(), setup);
        } catch (const rdz::kelt::MemoryBudgetExceeded& error) {
            throw InputError(c.file + ": " + where + ": " + error.what());
        }
    } else {
        if (bits != 8) {
            c.notes.Warn(where + " is left as it is: it has " + std::to_string(bits) +
                         " bits per component (8-bit images are converted)");
            return use;
        }
        if (dict.getKey("/Mask").isArray()) {
            c.notes.Warn(where +
                         " is left as it is: its colour-key mask names colours the "
                         "conversion would change");
            return use;
        }
        for (const std::string& filter : FilterNames(dict.getKey("/Filter"))) {
            if (filter == "/DCTDecode") {
                record.dct = true;
            } else if (filter != "/FlateDecode" && filter != "/LZWDecode" &&
                       filter != "/ASCIIHexDecode" && filter != "/ASCII85Decode" &&
                       filter != "/RunLengthDecode") {
                c.notes.Warn(where + " is left as it is: its filter " + filter +
                             " cannot be decoded");
                return use;
            }
        }
        const std::size_t components = static_cast<std::size_t>(space->components);
        // The soft mask is the alpha plane when it has the image's size.
        QPDFObjectHandle mask =
            source.isInline ? QPDFObjectHandle::newNull() : dict.getKey("/SMask");
        const bool alpha = mask.isStream() && IntegerOf(KeyOf(mask, "/Width"), 0) == width &&
                           IntegerOf(KeyOf(mask, "/Height"), 0) == height &&
                           IntegerOf(KeyOf(mask, "/BitsPerComponent"), 0) == 8;
        const std::uint64_t bytes = static_cast<std::uint64_t>(width) *
                                    static_cast<std::uint64_t>(height) *
                                    (components + (alpha ? 1 : 0));
        c.CheckImageMemory(bytes, where + " (" + std::to_string(width) + " x " +
                                        std::to_string(height) + " pixels)");
        rdz::kelt::ImageSetup setup;
        setup.inks = space->inks;
        setup.width = width;
        setup.height = height;
        setup.alpha = alpha;
        record.storedBytes =
            source.isInline
                ? source.inlineData.size()
                : static_cast<std::size_t>(std::max(0, IntegerOf(dict.getKey("/Length"), 0)));
        SampleTables tables = MakeSampleTables(*space, NumbersOf(dict.getKey("/Decode")));
        // Flate images, the common kind, are inflated on other cores: large
        // ones while they are converted, small ones now.
        const std::vector<std::string> filters = FilterNames(dict.getKey("/Filter"));
        QPDFObjectHandle parameters = dict.getKey("/DecodeParms");
        const bool flate = !alpha && !source.isInline && filters.size() == 1 &&
                           filters[0] == "/FlateDecode" &&
                           IntegerOf(KeyOf(parameters, "/Predictor"), 1) <= 1;
        if (flate && bytes >= kStreamedImageBytes) {
            record.definition =
                c.streamer->Add(c.slots.Document(), setup, source.stream, std::move(tables), where);
            if (record.definition == nullptr) {
                throw InputError(c.file + ": " + where + ": not enough memory for its pixels");
            }
            c.streamedBytes += bytes;
            LAY_set_name(record.definition, where.c_str());
            rdz::kelt::AddImagePlacement(c.slots.PageLayer(page), record.definition);
            record.read = CT_internal_handle(record.definition);
            c.images.push_back(std::move(record));
            use.image = static_cast<int>(c.images.size()) - 1;
            return use;
        }
        try {
            record.definition = rdz::kelt::AddImageDefinition(c.slots.Document(), setup);
        } catch (const rdz::kelt::MemoryBudgetExceeded& error) {
            throw InputError(c.file + ": " + where + ": " + error.what());
        }
        if (record.definition == nullptr) {
            throw InputError(c.file + ": " + where + ": not enough memory for its pixels");
        }
        std::string stored = c.decoder->Buffer();
        if (flate && StoredData(source.stream, kMaxStoredImageBytes, &stored)) {
            LAY_set_name(record.definition, where.c_str());
            c.images.push_back(std::move(record));
            use.image = static_cast<int>(c.images.size()) - 1;
            c.decoder->Add(use.image, page, std::move(stored), width, height, std::move(tables));
            return use;
        }
        cti_image_t* image = CT_internal_handle(record.definition);
        const std::size_t planes = static_cast<std::size_t>(CTI_nplanes(image));
        std::vector<unsigned char> row(static_cast<std::size_t>(width) * planes, 0);
        RowSink sink(width, height, std::move(tables), [&](int y, const unsigned char* samples) {
            std::copy(samples, samples + static_cast<std::size_t>(width) * components, row.begin());
            CTI_putrow_line_il(image, row.data(), y, 0, 0);
        });
        std::string error;
        bool read = PipeStream(source.stream, sink, qpdf_dl_all, &error);
        if (read && !sink.Complete()) {
            read = false;
            error = "it holds fewer rows than its height";
        }
        if (read && alpha) {
            SampleTables identity(1);
            for (int s = 0; s < 256; ++s) {
                identity[0][static_cast<std::size_t>(s)] = static_cast<unsigned char>(s);
            }
            RowSink alphaSink(width, height, identity, [&](int y, const unsigned char* samples) {
                CTI_putrow_line_il(image, samples, y, static_cast<int>(components), 0);
            });
            read = PipeStream(mask, alphaSink, qpdf_dl_all, &error) && alphaSink.Complete();
            if (!read) {
                error = "its soft mask cannot be decoded";
            }
        }
        if (!read) {
            OBJ_delete(record.definition);
            c.notes.Warn(where + " is left as it is: " + error);
            return use;
        }
    }
    if (record.definition == nullptr) {
        return use;
    }
    LAY_set_name(record.definition, where.c_str());
    rdz::kelt::AddImagePlacement(c.slots.PageLayer(page), record.definition);
    record.read = CT_internal_handle(record.definition);
    c.images.push_back(std::move(record));
    use.image = static_cast<int>(c.images.size()) - 1;
    return use;
}

}  // namespace

ImageUse ReadImage(PdfCatalogue& c, QPDFObjectHandle image, QPDFObjectHandle resources, int context,
                   int page, const std::string& where) {
    QPDFObjectHandle dict = image.getDict();
    if (BoolOf(dict.getKey("/ImageMask"), false)) {
        return {-1, true};
    }
    // Images inside soft masks make transparency, not colour: they stay.
    if (context != kArtwork || !c.imagesSeen.insert(image.getObjGen()).second) {
        return {};
    }
    Source source;
    source.dict = dict;
    source.stream = image;
    return ReadSource(c, source, resources, page, where);
}

ImageUse ReadInlineImage(PdfCatalogue& c, const Operation& op, QPDFObjectHandle resources,
                         int context, int page, const std::string& where) {
    QPDFObjectHandle parsed;
    try {
        parsed = QPDFObjectHandle::parse("<<" + op.imageDictionary + ">>", where);
    } catch (const std::exception&) {
        c.notes.Warn(where + " is left as it is: its dictionary cannot be read");
        return {};
    }
    if (!parsed.isDictionary()) {
        return {};
    }
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    for (auto& item : parsed.ditems()) {
        const std::string key = FullKey(item.first);
        dict.replaceKey(key, key == "/Filter" ? FullFilter(item.second) : item.second);
    }
    if (BoolOf(dict.getKey("/ImageMask"), false)) {
        return {-1, true};
    }
    if (context != kArtwork) {
        return {};
    }
    Source source;
    source.dict = dict;
    source.isInline = true;
    source.inlineData = op.imageData;
    source.stream = QPDFObjectHandle::newStream(c.qpdf.get(), op.imageData);
    QPDFObjectHandle streamDict = source.stream.getDict();
    for (const char* key : {"/Filter", "/DecodeParms"}) {
        if (dict.hasKey(key)) {
            streamDict.replaceKey(key, dict.getKey(key));
        }
    }
    ImageUse use = ReadSource(c, source, resources, page, where);
    if (use.image >= 0) {
        c.images[static_cast<std::size_t>(use.image)].inlineData = op.imageData;
        c.images[static_cast<std::size_t>(use.image)].inlineText = op.imageDictionary;
    }
    return use;
}

}  // namespace rdz::formats::pdf
