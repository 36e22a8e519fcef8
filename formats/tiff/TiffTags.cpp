#include "formats/tiff/TiffTags.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

namespace rdz::formats {
namespace {

/// Tags the writer writes itself, from what the pixels are now.
bool WritersOwn(std::uint32_t tag) {
    switch (tag) {
        case TIFFTAG_SUBFILETYPE:
        case TIFFTAG_OSUBFILETYPE:
        case TIFFTAG_IMAGEWIDTH:
        case TIFFTAG_IMAGELENGTH:
        case TIFFTAG_BITSPERSAMPLE:
        case TIFFTAG_COMPRESSION:
        case TIFFTAG_PHOTOMETRIC:
        case TIFFTAG_THRESHHOLDING:
        case TIFFTAG_CELLWIDTH:
        case TIFFTAG_CELLLENGTH:
        case TIFFTAG_FILLORDER:
        case TIFFTAG_STRIPOFFSETS:
        case TIFFTAG_SAMPLESPERPIXEL:
        case TIFFTAG_ROWSPERSTRIP:
        case TIFFTAG_STRIPBYTECOUNTS:
        case TIFFTAG_MINSAMPLEVALUE:
        case TIFFTAG_MAXSAMPLEVALUE:
        case TIFFTAG_XRESOLUTION:
        case TIFFTAG_YRESOLUTION:
        case TIFFTAG_RESOLUTIONUNIT:
        case TIFFTAG_PLANARCONFIG:
        case TIFFTAG_FREEOFFSETS:
        case TIFFTAG_FREEBYTECOUNTS:
        case TIFFTAG_GRAYRESPONSEUNIT:
        case TIFFTAG_GRAYRESPONSECURVE:
        case TIFFTAG_SOFTWARE:
        case TIFFTAG_PREDICTOR:
        case TIFFTAG_COLORMAP:
        case TIFFTAG_TILEWIDTH:
        case TIFFTAG_TILELENGTH:
        case TIFFTAG_TILEOFFSETS:
        case TIFFTAG_TILEBYTECOUNTS:
        case TIFFTAG_INKSET:
        case TIFFTAG_INKNAMES:
        case TIFFTAG_NUMBEROFINKS:
        case TIFFTAG_EXTRASAMPLES:
        case TIFFTAG_SAMPLEFORMAT:
        case TIFFTAG_SMINSAMPLEVALUE:
        case TIFFTAG_SMAXSAMPLEVALUE:
        case TIFFTAG_JPEGTABLES:
        case TIFFTAG_JPEGPROC:
        case TIFFTAG_JPEGIFOFFSET:
        case TIFFTAG_JPEGIFBYTECOUNT:
        case TIFFTAG_JPEGRESTARTINTERVAL:
        case TIFFTAG_JPEGLOSSLESSPREDICTORS:
        case TIFFTAG_JPEGPOINTTRANSFORM:
        case TIFFTAG_JPEGQTABLES:
        case TIFFTAG_JPEGDCTABLES:
        case TIFFTAG_JPEGACTABLES:
        case TIFFTAG_YCBCRCOEFFICIENTS:
        case TIFFTAG_YCBCRSUBSAMPLING:
        case TIFFTAG_YCBCRPOSITIONING:
        case TIFFTAG_REFERENCEBLACKWHITE:
        case TIFFTAG_WHITEPOINT:
        case TIFFTAG_PRIMARYCHROMATICITIES:
        case TIFFTAG_IMAGEDEPTH:
        case TIFFTAG_TILEDEPTH:
        case TIFFTAG_ICCPROFILE:  // decided by the writer's caller
        case TIFFTAG_EXIFIFD:     // written as a directory of its own
            return true;
        default:
            return false;
    }
}

/// Tags a conversion makes untrue or that point at data the writer does not
/// copy: left out and named.
const char* DroppedName(std::uint32_t tag) {
    switch (tag) {
        case TIFFTAG_IMAGESOURCEDATA:
            return "ImageSourceData (Photoshop layers, which keep the old colours)";
        case TIFFTAG_GPSIFD:
            return "GPSIFD (GPS directory)";
        case TIFFTAG_INTEROPERABILITYIFD:
            return "InteroperabilityIFD";
        case TIFFTAG_TRANSFERFUNCTION:
            return "TransferFunction";
        case 342:  // TransferRange
            return "TransferRange";
        default:
            return nullptr;
    }
}

bool IsFloating(std::uint16_t type) {
    return type == TIFF_FLOAT || type == TIFF_DOUBLE || type == TIFF_RATIONAL ||
           type == TIFF_SRATIONAL;
}

bool IsSigned(std::uint16_t type) {
    return type == TIFF_SBYTE || type == TIFF_SSHORT || type == TIFF_SLONG || type == TIFF_SLONG8;
}

/// Names of anonymous fields registered on written files: libtiff keeps the
/// pointer, so they live as long as the process.
const char* KeptName(const std::string& name) {
    static std::mutex mutex;
    static std::deque<std::string> names;
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
        return found->c_str();
    }
    names.push_back(name);
    return names.back().c_str();
}

/// One custom tag of the current directory; false when its form cannot be
/// handed back.
bool ReadCustomTag(TIFF* tiff, std::uint32_t tag, TiffTag* out) {
    const TIFFField* field = TIFFFieldWithTag(tiff, tag);
    if (field == nullptr) {
        return false;
    }
    TiffTag kept;
    kept.tag = tag;
    kept.type = static_cast<std::uint16_t>(TIFFFieldDataType(field));
    kept.name = TIFFFieldName(field) != nullptr ? TIFFFieldName(field) : "";
    kept.anonymous = TIFFFieldIsAnonymous(field) != 0;
    kept.valueSize = TIFFFieldSetGetSize(field);
    const int readCount = TIFFFieldReadCount(field);
    if (tag == TIFFTAG_DOTRANGE) {
        std::uint16_t first = 0;
        std::uint16_t second = 0;
        if (TIFFGetField(tiff, tag, &first, &second) == 0) {
            return false;
        }
        kept.form = TiffTag::Form::Pair;
        kept.count = 2;
        kept.valueSize = 2;
        kept.bytes.resize(4);
        std::memcpy(kept.bytes.data(), &first, 2);
        std::memcpy(kept.bytes.data() + 2, &second, 2);
        *out = std::move(kept);
        return true;
    }
    if (TIFFFieldPassCount(field) != 0) {
        kept.form = TiffTag::Form::Counted;
        kept.countSize = TIFFFieldSetGetCountSize(field);
        void* data = nullptr;
        if (kept.countSize == 4) {
            std::uint32_t count = 0;
            if (TIFFGetField(tiff, tag, &count, &data) == 0) {
                return false;
            }
            kept.count = count;
        } else if (kept.countSize == 2) {
            std::uint16_t count = 0;
            if (TIFFGetField(tiff, tag, &count, &data) == 0) {
                return false;
            }
            kept.count = count;
        } else {
            return false;
        }
        if (kept.valueSize <= 0 || (kept.count != 0 && data == nullptr)) {
            return false;
        }
        const std::size_t bytes = static_cast<std::size_t>(kept.count) * kept.valueSize;
        kept.bytes.assign(static_cast<const std::uint8_t*>(data),
                          static_cast<const std::uint8_t*>(data) + bytes);
    } else if (kept.type == TIFF_ASCII) {
        const char* text = nullptr;
        if (TIFFGetField(tiff, tag, &text) == 0 || text == nullptr) {
            return false;
        }
        kept.form = TiffTag::Form::Text;
        kept.bytes.assign(text, text + std::strlen(text) + 1);
        kept.count = static_cast<std::uint32_t>(kept.bytes.size());
    } else if (readCount == 1) {
        if (kept.valueSize <= 0 || kept.valueSize > 8) {
            return false;
        }
        alignas(8) std::uint8_t value[8] = {};
        if (TIFFGetField(tiff, tag, value) == 0) {
            return false;
        }
        kept.form = TiffTag::Form::Single;
        kept.floating = IsFloating(kept.type);
        kept.count = 1;
        kept.bytes.assign(value, value + kept.valueSize);
    } else if (readCount > 1) {
        void* data = nullptr;
        if (kept.valueSize <= 0 || TIFFGetField(tiff, tag, &data) == 0 || data == nullptr) {
            return false;
        }
        kept.form = TiffTag::Form::Array;
        kept.count = static_cast<std::uint32_t>(readCount);
        const std::size_t bytes = static_cast<std::size_t>(kept.count) * kept.valueSize;
        kept.bytes.assign(static_cast<const std::uint8_t*>(data),
                          static_cast<const std::uint8_t*>(data) + bytes);
    } else {
        return false;  // per-sample arrays: their samples are not the written ones
    }
    *out = std::move(kept);
    return true;
}

/// The custom tags of the current directory (of a page or of an EXIF
/// directory) that are kept, and those a conversion makes untrue.
void ReadCustomTags(TIFF* tiff, bool exif, std::vector<TiffTag>* kept, std::vector<TiffTag>* untrue,
                    std::vector<std::string>* dropped) {
    const int count = TIFFGetTagListCount(tiff);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t tag = TIFFGetTagListEntry(tiff, i);
        if (!exif && WritersOwn(tag)) {
            continue;
        }
        if (const char* name = exif ? nullptr : DroppedName(tag)) {
            dropped->emplace_back(name);
            // Directory pointers are never copied as they stand.
            TiffTag one;
            if (untrue != nullptr && tag == TIFFTAG_IMAGESOURCEDATA &&
                ReadCustomTag(tiff, tag, &one)) {
                one.name = name;  // as the dropped tags name it
                untrue->push_back(std::move(one));
            }
            continue;
        }
        TiffTag one;
        if (ReadCustomTag(tiff, tag, &one)) {
            kept->push_back(std::move(one));
        } else {
            const TIFFField* field = TIFFFieldWithTag(tiff, tag);
            dropped->push_back(field != nullptr && TIFFFieldName(field) != nullptr
                                   ? TIFFFieldName(field)
                                   : "tag " + std::to_string(tag));
        }
    }
}

TiffTag SingleTag(std::uint32_t tag, std::uint16_t type, const void* value, int size) {
    TiffTag kept;
    kept.tag = tag;
    kept.type = type;
    kept.form = TiffTag::Form::Single;
    kept.valueSize = size;
    kept.floating = IsFloating(type);
    kept.count = 1;
    kept.bytes.assign(static_cast<const std::uint8_t*>(value),
                      static_cast<const std::uint8_t*>(value) + size);
    return kept;
}

TiffTag PairTag(std::uint32_t tag, std::uint16_t first, std::uint16_t second) {
    TiffTag kept;
    kept.tag = tag;
    kept.type = TIFF_SHORT;
    kept.form = TiffTag::Form::Pair;
    kept.valueSize = 2;
    kept.count = 2;
    kept.bytes.resize(4);
    std::memcpy(kept.bytes.data(), &first, 2);
    std::memcpy(kept.bytes.data() + 2, &second, 2);
    return kept;
}

/// The directory's tags that libtiff keeps in fields of its own.
void ReadCoreTags(TIFF* tiff, TiffLayout* layout) {
    std::uint16_t orientation = 0;
    if (TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation) != 0) {
        layout->tags.push_back(SingleTag(TIFFTAG_ORIENTATION, TIFF_SHORT, &orientation, 2));
    }
    std::uint32_t subfileType = 0;
    if (TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &subfileType) != 0 && subfileType != 0) {
        layout->tags.push_back(SingleTag(TIFFTAG_SUBFILETYPE, TIFF_LONG, &subfileType, 4));
    }
    for (std::uint32_t tag : {TIFFTAG_XPOSITION, TIFFTAG_YPOSITION}) {
        float position = 0.0f;
        if (TIFFGetField(tiff, tag, &position) != 0) {
            layout->tags.push_back(SingleTag(tag, TIFF_RATIONAL, &position, 4));
        }
    }
    for (std::uint32_t tag : {TIFFTAG_PAGENUMBER, TIFFTAG_HALFTONEHINTS}) {
        std::uint16_t first = 0;
        std::uint16_t second = 0;
        if (TIFFGetField(tiff, tag, &first, &second) != 0) {
            layout->tags.push_back(PairTag(tag, first, second));
        }
    }
    std::uint16_t subIfdCount = 0;
    std::uint64_t* subIfds = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_SUBIFD, &subIfdCount, &subIfds) != 0 && subIfdCount > 0) {
        layout->droppedTags.emplace_back("SubIFDs (sub-images in the old colours)");
    }
    std::uint16_t* transfer[3] = {nullptr, nullptr, nullptr};
    if (TIFFGetField(tiff, TIFFTAG_TRANSFERFUNCTION, &transfer[0], &transfer[1], &transfer[2]) !=
        0) {
        layout->droppedTags.emplace_back(DroppedName(TIFFTAG_TRANSFERFUNCTION));
    }
}

}  // namespace

void ReadKeptTags(TIFF* tiff, TiffLayout* layout) {
    ReadCoreTags(tiff, layout);
    ReadCustomTags(tiff, false, &layout->tags, &layout->untrueTags, &layout->droppedTags);

    std::uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &icc) != 0 && icc != nullptr &&
        iccSize > 0) {
        layout->iccProfile.assign(static_cast<const std::uint8_t*>(icc),
                                  static_cast<const std::uint8_t*>(icc) + iccSize);
    }

    std::uint64_t exifOffset = 0;
    if (TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifOffset) != 0 && exifOffset != 0) {
        // The EXIF directory is read in place of the page's; the page is set
        // again afterwards.
        if (TIFFReadEXIFDirectory(tiff, exifOffset) != 0) {
            ReadCustomTags(tiff, true, &layout->exifTags, nullptr, &layout->droppedTags);
        } else {
            layout->droppedTags.emplace_back("EXIFIFD (unreadable EXIF directory)");
        }
        TIFFSetDirectory(tiff, static_cast<tdir_t>(layout->page));
    }
}

bool WriteKeptTags(TIFF* tiff, const std::vector<TiffTag>& tags) {
    for (const TiffTag& kept : tags) {
        if (kept.anonymous && TIFFFindField(tiff, kept.tag, TIFF_ANY) == nullptr) {
            // libtiff learns unknown tags as it reads them; a written file
            // learns them here, in the form they were read in.
            TIFFFieldInfo info{};
            info.field_tag = kept.tag;
            info.field_readcount = TIFF_VARIABLE2;
            info.field_writecount = TIFF_VARIABLE2;
            info.field_type = static_cast<TIFFDataType>(kept.type);
            info.field_bit = FIELD_CUSTOM;
            info.field_oktochange = 1;
            info.field_passcount = 1;
            info.field_name = const_cast<char*>(KeptName(kept.name));
            if (TIFFMergeFieldInfo(tiff, &info, 1) != 0) {
                return false;
            }
        }
        const void* data = kept.bytes.data();
        int set = 0;
        switch (kept.form) {
            case TiffTag::Form::Counted:
                set = kept.countSize == 4
                          ? TIFFSetField(tiff, kept.tag, kept.count, data)
                          : TIFFSetField(tiff, kept.tag, static_cast<int>(kept.count), data);
                break;
            case TiffTag::Form::Text:
                set = TIFFSetField(tiff, kept.tag, static_cast<const char*>(data));
                break;
            case TiffTag::Form::Array:
                set = TIFFSetField(tiff, kept.tag, data);
                break;
            case TiffTag::Form::Pair: {
                std::uint16_t first = 0;
                std::uint16_t second = 0;
                std::memcpy(&first, kept.bytes.data(), 2);
                std::memcpy(&second, kept.bytes.data() + 2, 2);
                set =
                    TIFFSetField(tiff, kept.tag, static_cast<int>(first), static_cast<int>(second));
                break;
            }
            case TiffTag::Form::Single:
                if (kept.floating) {
                    double value = 0.0;
                    if (kept.valueSize == 4) {
                        float single = 0.0f;
                        std::memcpy(&single, data, 4);
                        value = single;
                    } else {
                        std::memcpy(&value, data, 8);
                    }
                    set = TIFFSetField(tiff, kept.tag, value);
                } else if (kept.valueSize == 8) {
                    std::uint64_t value = 0;
                    std::memcpy(&value, data, 8);
                    set = TIFFSetField(tiff, kept.tag, value);
                } else {
                    // Smaller integers travel as int (or uint32, the same size).
                    std::int64_t value = 0;
                    if (kept.valueSize == 1) {
                        value = IsSigned(kept.type) ? static_cast<std::int8_t>(kept.bytes[0])
                                                    : kept.bytes[0];
                    } else if (kept.valueSize == 2) {
                        std::uint16_t raw = 0;
                        std::memcpy(&raw, data, 2);
                        value = IsSigned(kept.type) ? static_cast<std::int16_t>(raw) : raw;
                    } else {
                        std::uint32_t raw = 0;
                        std::memcpy(&raw, data, 4);
                        value = raw;
                    }
                    set = kept.valueSize == 4
                              ? TIFFSetField(tiff, kept.tag, static_cast<std::uint32_t>(value))
                              : TIFFSetField(tiff, kept.tag, static_cast<int>(value));
                }
                break;
        }
        if (set == 0) {
            return false;
        }
    }
    return true;
}

bool WriteExifDirectory(TIFF* tiff, const std::vector<TiffTag>& tags, std::uint64_t* offset) {
    *offset = 0;
    if (TIFFCreateEXIFDirectory(tiff) != 0) {
        return false;
    }
    const bool set = WriteKeptTags(tiff, tags);
    const bool written = set && TIFFWriteCustomDirectory(tiff, offset) != 0;
    // The EXIF values go before the page's directory is set up: libtiff
    // would not free them once it has switched back to the page's tags.
    TIFFFreeDirectory(tiff);
    TIFFCreateDirectory(tiff);
    return written;
}

}  // namespace rdz::formats
