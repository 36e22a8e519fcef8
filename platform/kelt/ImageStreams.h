// Pixel images whose rows live elsewhere: rows read from a row source (an
// image file decoded on demand) and rows sent to a row sink (an image file
// written as the rows arrive). A whole TIFF-to-TIFF conversion then holds a
// few bands of rows instead of two whole images.
//
// How the image pass meets them. The library rewrites an image definition
// by reading its rows with CTI_getrow_line_il in order, creating the target
// image with CTI_create(ctParam1, ctParam2, ctParam3, ...), writing the
// target's rows with CTI_putrow_line_il in order and installing the target
// with CT_set_internal. The database chooses what ctParam1..3 mean; here:
//
// - A streamed definition (AddStreamedImageDefinition) holds a pixel image
//   whose rows come from its RowSource; no pixels are kept. Its ctParam3 is
//   the definition's stream number, a negative number the database hands out
//   (ctParam1 and ctParam2 stay the caller's, the resolution).
// - CTI_create with a stream number whose definition has a sink factory
//   (SetRowSinkFactory), and that definition's width and height, asks the
//   factory for a sink. With a sink the new image keeps no pixels: every row
//   given to CTI_putrow_line_il goes to the sink, in order. Without one (no
//   factory, or the factory declines) the image is an ordinary one in memory.
// - CT_set_internal of a sink image whose every row was written calls the
//   sink's Finish with the definition. A sink image released (CTI_release),
//   or freed with its document, before that destroys the sink unfinished:
//   its owner takes the output as spoilt.
//
// Reading a streamed image:
// - Rows read in order cost one decode each; a row behind the last one read
//   makes the source go back (allowed, slower). Partial rows (firstPlane or
//   firstColumn not 0) go through one row of scratch.
// - A row the source cannot make gives -1 (the source keeps the reason).
// - Whatever needs the image whole (ImagePixels, CTI_putrow_line_il into it)
//   first reads every row into memory, counted against the memory budget;
//   the image is then an ordinary one and the source is dropped.
// - A sink image reads nothing: CTI_getrow_line_il gives -1, ImagePixels is
//   empty. Its rows are in the sink's file.
//
// Everything here runs on the thread that calls the host functions; sources
// and sinks are called on it, in row order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {

/// Where a streamed image's rows come from.
class RowSource {
  public:
    virtual ~RowSource() = default;
    /// Writes row `row` into `planes`: the image's planes one after the
    /// other (its ink planes, then alpha), `width` samples each. Any row may
    /// be asked for; rows asked for in order must each cost one decode.
    /// False when the row cannot be made.
    virtual bool ReadRow(int row, unsigned char* planes) = 0;
};

/// Where the rows of a target image go.
class RowSink {
  public:
    /// A sink destroyed before Finish was given up: its rows are not a
    /// whole image.
    virtual ~RowSink() = default;
    /// Takes row `row` (planes as RowSource gives them). Rows come in order
    /// 0 .. height-1, each once. False refuses it (the write gives -1).
    virtual bool WriteRow(int row, const unsigned char* planes) = 0;
    /// Every row was written and the image is now `definition`'s pixel image.
    virtual void Finish(ct_def_t* definition) = 0;
};

/// What a target image looks like when a sink is asked for.
struct SinkRequest {
    ct_def_t* definition = nullptr;  // the streamed definition it is made for
    int width = 0;
    int height = 0;
    std::vector<inkt_t*> inks;  // one per ink plane, in plane order
    bool alpha = false;         // one alpha plane after the ink planes
};

/// Makes the sink for a target image, or null to keep the image in memory.
using RowSinkFactory = std::function<std::unique_ptr<RowSink>(const SinkRequest&)>;

/// An image definition like AddImageDefinition's (setup.pixels and
/// setup.internal are ignored) whose pixel image reads its rows from
/// `source`. Its ctParam3 is its stream number. Null (and `source`
/// destroyed) when the size does not fit.
ct_def_t* AddStreamedImageDefinition(document_object_t* document, const ImageSetup& setup,
                                     std::unique_ptr<RowSource> source);

/// Lets target images made for `definition` (see above) send their rows to
/// sinks made by `factory`; an empty factory takes that back. False when
/// `definition` is not streamed.
bool SetRowSinkFactory(ct_def_t* definition, RowSinkFactory factory);

/// Where an image's rows are.
enum class PixelStorage { Memory, Source, Sink };
PixelStorage StorageOf(const cti_image_t* image);

/// Reads a whole row as CTI_getrow_line_il does, without calling the row
/// progress hook or the row observer (for writers that read the converted
/// image back). -1 as CTI_getrow_line_il.
int ReadImageRow(cti_image_t* image, int row, unsigned char* planes);

/// Bytes of pixels the database holds in memory right now (every pixel
/// image and external pixel data of every document).
std::uint64_t HeldPixelBytes();

}  // namespace rdz::kelt
