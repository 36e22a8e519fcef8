// TIFF files with everything a user's file may carry (pages, extra samples,
// ink names, orientation, ICC profile, XMP, IPTC, Photoshop data, EXIF, a tag
// libtiff does not know), written with libtiff at test time, and read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rdz::tifftest {

/// A tag of our own, unknown to libtiff: it must travel as it is.
constexpr std::uint32_t kPrivateTag = 65111;

struct Recipe {
    int width = 23;
    int height = 9;
    int colour = 4;                     // colour samples (CMYK: 4)
    std::vector<std::uint16_t> extras;  // ExtraSamples values
    std::vector<std::string> inkNames;  // InkNames tag (none when empty)
    std::uint16_t photometric = 5;      // separated
    std::uint16_t compression = 1;
    std::uint16_t predictor = 1;
    int rowsPerStrip = 4;
    bool tiled = false;     // 16 x 16 tiles
    bool separate = false;  // one plane per sample
    int pages = 1;
    // Tags; left out when empty or 0.
    std::uint16_t orientation = 0;
    float resolution = 0.0f;
    std::vector<std::uint8_t> icc;
    std::string xmp;
    std::vector<std::uint8_t> iptc;  // a whole number of 4-byte words
    std::vector<std::uint8_t> photoshop;
    std::vector<std::uint8_t> layers;  // ImageSourceData
    std::string description;
    std::vector<std::uint8_t> privateBytes;  // kPrivateTag, UNDEFINED
    std::string exifDate;                    // DateTimeOriginal in an EXIF directory
    std::uint16_t exifIso = 0;               // ISOSpeedRatings in that directory
};

/// The samples of page `page`: pixel after pixel, samples interleaved; every
/// value differs from its neighbours and from the other pages'.
std::vector<std::uint8_t> Pixels(const Recipe& recipe, int page = 0);

/// Writes every page of `recipe` (page p holds Pixels(recipe, p)).
void Write(const std::string& path, const Recipe& recipe);

/// One page as read back.
struct Page {
    int width = 0;
    int height = 0;
    int samples = 0;
    std::uint16_t photometric = 0;
    std::uint16_t inkSet = 0;
    std::uint16_t compression = 0;
    std::uint16_t predictor = 1;
    std::uint16_t orientation = 1;
    bool hasOrientation = false;
    float xResolution = 0.0f;
    std::vector<std::uint16_t> extras;
    std::vector<std::string> inkNames;
    std::vector<std::uint8_t> icc;
    std::string xmp;
    std::vector<std::uint8_t> iptc;
    std::vector<std::uint8_t> photoshop;
    std::vector<std::uint8_t> layers;
    std::string description;
    std::vector<std::uint8_t> privateBytes;
    std::string exifDate;
    std::uint16_t exifIso = 0;
    std::vector<std::uint8_t> pixels;  // interleaved
};

/// Every page of a TIFF file.
std::vector<Page> Read(const std::string& path);

/// `pixels` (interleaved, `samples` per pixel) with the samples of `keep`
/// only, in that order.
std::vector<std::uint8_t> Samples(const std::vector<std::uint8_t>& pixels, int samples,
                                  const std::vector<int>& keep);

/// A fresh folder, removed with what it holds when the object goes.
class Folder {
  public:
    Folder();
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

/// The bytes of a file.
std::string FileBytes(const std::string& path);

/// A small valid ICC profile made by LittleCMS: CMYK when `cmyk`, else sRGB,
/// with `description`.
std::vector<std::uint8_t> Profile(bool cmyk, const std::string& description);

}  // namespace rdz::tifftest
