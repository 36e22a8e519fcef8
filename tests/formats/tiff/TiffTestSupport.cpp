#include "tests/formats/tiff/TiffTestSupport.h"

#include <lcms2.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rdz::tifftest {
namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

TIFF* Open(const std::string& path, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &Quiet, nullptr);
    TIFF* tiff = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    return tiff;
}

void RegisterPrivateTag(TIFF* tiff) {
    static TIFFFieldInfo info = {kPrivateTag,
                                 TIFF_VARIABLE2,
                                 TIFF_VARIABLE2,
                                 TIFF_UNDEFINED,
                                 FIELD_CUSTOM,
                                 1,
                                 1,
                                 const_cast<char*>("TestPrivate")};
    TIFFMergeFieldInfo(tiff, &info, 1);
}

void WritePixels(TIFF* tiff, const Recipe& recipe, const std::vector<std::uint8_t>& pixels) {
    const int samples = recipe.colour + static_cast<int>(recipe.extras.size());
    const std::size_t width = static_cast<std::size_t>(recipe.width);
    const std::size_t spp = static_cast<std::size_t>(samples);
    auto at = [&](std::size_t x, std::size_t y, std::size_t s) {
        return pixels[(y * width + x) * spp + s];
    };
    const int planes = recipe.separate ? samples : 1;
    const std::size_t perChunk = recipe.separate ? 1 : spp;
    if (recipe.tiled) {
        const std::size_t tile = 16;
        std::vector<std::uint8_t> chunk(tile * tile * perChunk);
        for (int p = 0; p < planes; ++p) {
            for (std::size_t y0 = 0; y0 < static_cast<std::size_t>(recipe.height); y0 += tile) {
                for (std::size_t x0 = 0; x0 < width; x0 += tile) {
                    std::fill(chunk.begin(), chunk.end(), 0);
                    for (std::size_t y = 0;
                         y < tile && y0 + y < static_cast<std::size_t>(recipe.height); ++y) {
                        for (std::size_t x = 0; x < tile && x0 + x < width; ++x) {
                            for (std::size_t s = 0; s < perChunk; ++s) {
                                chunk[(y * tile + x) * perChunk + s] =
                                    at(x0 + x, y0 + y, recipe.separate ? p : s);
                            }
                        }
                    }
                    TIFFWriteTile(tiff, chunk.data(), static_cast<std::uint32_t>(x0),
                                  static_cast<std::uint32_t>(y0), 0, static_cast<std::uint16_t>(p));
                }
            }
        }
        return;
    }
    std::vector<std::uint8_t> line(width * perChunk);
    for (int p = 0; p < planes; ++p) {
        for (int y = 0; y < recipe.height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                for (std::size_t s = 0; s < perChunk; ++s) {
                    line[x * perChunk + s] =
                        at(x, static_cast<std::size_t>(y), recipe.separate ? p : s);
                }
            }
            TIFFWriteScanline(tiff, line.data(), static_cast<std::uint32_t>(y),
                              static_cast<std::uint16_t>(p));
        }
    }
}

}  // namespace

std::vector<std::uint8_t> Pixels(const Recipe& recipe, int page) {
    const int samples = recipe.colour + static_cast<int>(recipe.extras.size());
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            for (int s = 0; s < samples; ++s) {
                pixels.push_back(
                    static_cast<std::uint8_t>((y * 37 + x * 11 + s * 53 + page * 101) % 256));
            }
        }
    }
    return pixels;
}

void Write(const std::string& path, const Recipe& recipe) {
    TIFF* tiff = Open(path, "w");
    const int samples = recipe.colour + static_cast<int>(recipe.extras.size());
    for (int page = 0; page < recipe.pages; ++page) {
        std::uint64_t exifOffset = 0;
        if (!recipe.exifDate.empty() || recipe.exifIso != 0) {
            TIFFCreateEXIFDirectory(tiff);
            if (!recipe.exifDate.empty()) {
                TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, recipe.exifDate.c_str());
            }
            if (recipe.exifIso != 0) {
                const std::uint16_t iso = recipe.exifIso;
                TIFFSetField(tiff, EXIFTAG_ISOSPEEDRATINGS, 1, &iso);
            }
            TIFFWriteCustomDirectory(tiff, &exifOffset);
            TIFFFreeDirectory(tiff);
            TIFFCreateDirectory(tiff);
        }
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, recipe.width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, recipe.height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, recipe.photometric);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                     recipe.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, recipe.compression);
        if (recipe.predictor != 1) {
            TIFFSetField(tiff, TIFFTAG_PREDICTOR, recipe.predictor);
        }
        if (recipe.tiled) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        } else {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, recipe.rowsPerStrip);
        }
        if (!recipe.extras.empty()) {
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES,
                         static_cast<std::uint16_t>(recipe.extras.size()), recipe.extras.data());
        }
        if (!recipe.inkNames.empty()) {
            std::string names;
            for (const std::string& name : recipe.inkNames) {
                names += name;
                names.push_back('\0');
            }
            TIFFSetField(tiff, TIFFTAG_INKNAMES, static_cast<std::uint16_t>(names.size()),
                         names.data());
        }
        if (recipe.pages > 1) {
            TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, recipe.pages);
        }
        if (recipe.orientation != 0) {
            TIFFSetField(tiff, TIFFTAG_ORIENTATION, recipe.orientation);
        }
        if (recipe.resolution > 0.0f) {
            TIFFSetField(tiff, TIFFTAG_XRESOLUTION, recipe.resolution);
            TIFFSetField(tiff, TIFFTAG_YRESOLUTION, recipe.resolution);
            TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        if (!recipe.icc.empty()) {
            TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(recipe.icc.size()),
                         recipe.icc.data());
        }
        if (!recipe.xmp.empty()) {
            TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(recipe.xmp.size()),
                         recipe.xmp.data());
        }
        if (!recipe.iptc.empty()) {
            // Counted in the values libtiff keeps (bytes or 32-bit words,
            // depending on its version).
            const int unit = TIFFFieldSetGetSize(TIFFFieldWithTag(tiff, TIFFTAG_RICHTIFFIPTC));
            TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC,
                         static_cast<std::uint32_t>(recipe.iptc.size() / unit), recipe.iptc.data());
        }
        if (!recipe.photoshop.empty()) {
            TIFFSetField(tiff, TIFFTAG_PHOTOSHOP,
                         static_cast<std::uint32_t>(recipe.photoshop.size()),
                         recipe.photoshop.data());
        }
        if (!recipe.layers.empty()) {
            TIFFSetField(tiff, TIFFTAG_IMAGESOURCEDATA,
                         static_cast<std::uint32_t>(recipe.layers.size()), recipe.layers.data());
        }
        if (!recipe.description.empty()) {
            TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, recipe.description.c_str());
        }
        if (!recipe.privateBytes.empty()) {
            RegisterPrivateTag(tiff);
            TIFFSetField(tiff, kPrivateTag, static_cast<std::uint32_t>(recipe.privateBytes.size()),
                         recipe.privateBytes.data());
        }
        if (exifOffset != 0) {
            TIFFSetField(tiff, TIFFTAG_EXIFIFD, exifOffset);
        }
        WritePixels(tiff, recipe, Pixels(recipe, page));
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
}

std::vector<Page> Read(const std::string& path) {
    TIFF* tiff = Open(path, "r");
    RegisterPrivateTag(tiff);
    std::vector<Page> pages;
    do {
        Page page;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint16_t samples = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &page.photometric);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &page.inkSet);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &page.compression);
        TIFFGetField(tiff, TIFFTAG_PREDICTOR, &page.predictor);
        page.hasOrientation = TIFFGetField(tiff, TIFFTAG_ORIENTATION, &page.orientation) != 0;
        TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &page.xResolution);
        std::uint16_t count = 0;
        std::uint16_t* extras = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &extras) != 0) {
            page.extras.assign(extras, extras + count);
        }
        char* names = nullptr;
        std::uint16_t inks = 0;
        if (TIFFGetField(tiff, TIFFTAG_INKNAMES, &names) != 0 &&
            TIFFGetField(tiff, TIFFTAG_NUMBEROFINKS, &inks) != 0) {
            for (std::uint16_t i = 0; i < inks; ++i) {
                page.inkNames.emplace_back(names);
                names += std::strlen(names) + 1;
            }
        }
        std::uint32_t size = 0;
        void* data = nullptr;
        const auto blob = [&](std::uint32_t tag, std::size_t unit) {
            size = 0;
            data = nullptr;
            if (TIFFGetField(tiff, tag, &size, &data) != 0 && data != nullptr) {
                const auto* bytes = static_cast<const std::uint8_t*>(data);
                return std::vector<std::uint8_t>(bytes, bytes + size * unit);
            }
            return std::vector<std::uint8_t>();
        };
        page.icc = blob(TIFFTAG_ICCPROFILE, 1);
        const std::vector<std::uint8_t> xmp = blob(TIFFTAG_XMLPACKET, 1);
        page.xmp.assign(xmp.begin(), xmp.end());
        page.iptc = blob(TIFFTAG_RICHTIFFIPTC, static_cast<std::size_t>(TIFFFieldSetGetSize(
                                                   TIFFFieldWithTag(tiff, TIFFTAG_RICHTIFFIPTC))));
        page.photoshop = blob(TIFFTAG_PHOTOSHOP, 1);
        page.layers = blob(TIFFTAG_IMAGESOURCEDATA, 1);
        page.privateBytes = blob(kPrivateTag, 1);
        char* description = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description) != 0) {
            page.description = description;
        }
        page.width = static_cast<int>(width);
        page.height = static_cast<int>(height);
        page.samples = samples;
        const tmsize_t line = TIFFScanlineSize(tiff);
        page.pixels.resize(static_cast<std::size_t>(line) * height);
        for (std::uint32_t y = 0; y < height; ++y) {
            TIFFReadScanline(tiff, page.pixels.data() + static_cast<std::size_t>(line) * y, y, 0);
        }
        std::uint64_t exifOffset = 0;
        if (TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifOffset) != 0 && exifOffset != 0) {
            const tdir_t current = TIFFCurrentDirectory(tiff);
            if (TIFFReadEXIFDirectory(tiff, exifOffset) != 0) {
                char* date = nullptr;
                if (TIFFGetField(tiff, EXIFTAG_DATETIMEORIGINAL, &date) != 0 && date != nullptr) {
                    page.exifDate = date;
                }
                std::uint16_t isoCount = 0;
                std::uint16_t* iso = nullptr;
                if (TIFFGetField(tiff, EXIFTAG_ISOSPEEDRATINGS, &isoCount, &iso) != 0 &&
                    isoCount > 0) {
                    page.exifIso = iso[0];
                }
            }
            TIFFSetDirectory(tiff, current);
        }
        pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tiff) != 0);
    TIFFClose(tiff);
    return pages;
}

std::vector<std::uint8_t> Samples(const std::vector<std::uint8_t>& pixels, int samples,
                                  const std::vector<int>& keep) {
    std::vector<std::uint8_t> out;
    for (std::size_t p = 0; p + static_cast<std::size_t>(samples) <= pixels.size();
         p += static_cast<std::size_t>(samples)) {
        for (int s : keep) {
            out.push_back(pixels[p + static_cast<std::size_t>(s)]);
        }
    }
    return out;
}

Folder::Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rdz-tiff-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    path_ = pattern;
}

Folder::~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::uint8_t> Profile(bool cmyk, const std::string& description) {
    cmsHPROFILE profile = nullptr;
    if (cmyk) {
        // A CMYK output profile through a tiny table is enough for tags.
        cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
        cmsToneCurve* curves[4] = {linear, linear, linear, linear};
        profile = cmsCreateLinearizationDeviceLink(cmsSigCmykData, curves);
        cmsFreeToneCurve(linear);
    } else {
        profile = cmsCreate_sRGBProfile();
    }
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description.c_str());
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace rdz::tifftest
