// Tags carried from a page read to the page written for it.
//
// A converted page keeps every tag that the conversion leaves true: texts
// (description, artist, copyright, date ...), orientation, position, page
// number, XMP, IPTC, Photoshop image resources (clipping paths among them),
// the EXIF directory, and tags libtiff does not know. Left out, and named in
// TiffLayout::droppedTags: Photoshop's layer data (its layers still hold the
// old colours), sub-images (thumbnails and previews in the old colours), the
// GPS and interoperability directories, transfer functions, and any tag
// whose form libtiff cannot hand back. Tags that describe the samples
// (sizes, compression, ink set and names, extra samples, strips) are the
// writer's own; the ICC profile goes to TiffLayout::iccProfile, where the
// writer's caller decides about it.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/tiff/TiffFile.h"

namespace rdz::formats {

/// Reads the kept tags, the ICC profile, the EXIF directory and the names
/// of dropped tags of `tiff`'s current directory (page `layout->page`) into
/// `layout`. Leaves `tiff` on that directory.
void ReadKeptTags(TIFF* tiff, TiffLayout* layout);

/// Sets `tags` on the current directory of `tiff`. False when libtiff
/// refused one (its error handler has the reason).
bool WriteKeptTags(TIFF* tiff, const std::vector<TiffTag>& tags);

/// Writes `tags` as an EXIF directory of the file and sets the offset in
/// `*offset`; the directory being written is then started afresh (the
/// caller sets its tags after this). False when it could not be written.
bool WriteExifDirectory(TIFF* tiff, const std::vector<TiffTag>& tags, std::uint64_t* offset);

}  // namespace rdz::formats
