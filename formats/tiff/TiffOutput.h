// The TIFF file written for a TIFF document: pages in order, converted pages
// streamed from the conversion (RowSink), the others copied when their turn
// comes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "formats/DocumentFormat.h"
#include "formats/tiff/TiffDocument.h"
#include "formats/tiff/TiffFile.h"
#include "platform/kelt/ImageStreams.h"

namespace rdz::formats {

/// The layout a page is written with when its planes are `inks` (plus
/// alpha): ink names, photometric, extra samples (alpha, then the carried
/// samples), compression and level from `settings` and the input, the kept
/// tags, and the ICC profile: the input's when `converted` is false or the
/// colour space stayed, else settings.profile's (none when that is empty).
/// Throws WorkError for a compression libtiff does not offer.
TiffLayout OutputLayout(const TiffPage& page, const std::vector<inkt_t*>& inks, bool alpha,
                        bool converted, const WriteSettings& settings);

class TiffOutput {
  public:
    /// Nothing is created before the first page is written.
    TiffOutput(std::string input, const std::vector<TiffPage>& pages,
               std::shared_ptr<TiffReadState> readState, std::string temporary,
               std::string finalPath, WriteSettings settings);
    ~TiffOutput();
    TiffOutput(const TiffOutput&) = delete;
    TiffOutput& operator=(const TiffOutput&) = delete;

    /// The sink of page `page`'s target image: the pages before it that
    /// are not written yet are written first (as their definitions hold
    /// them now). Null for a page already written (the image is then kept
    /// in memory and not written again). After a failure the sink takes the
    /// rows and drops them: the output is spoilt and Finish says why.
    std::unique_ptr<rdz::kelt::RowSink> MakeSink(std::size_t page,
                                                 const rdz::kelt::SinkRequest& request);

    /// Writes the pages not written yet and finishes the file. Throws
    /// InputError when the input could not be read, WorkError when the
    /// output could not be written or a page's sink was given up.
    void Finish();

  private:
    class PageSink;
    friend class PageSink;

    /// Creates the file when it is not there yet; false after a failure.
    bool Begin(int planes);
    /// Writes pages nextPage_ .. end-1 from their definitions.
    bool WritePending(std::size_t end);
    bool WritePage(std::size_t page);
    void Fail(const std::string& why);
    /// Notes what the written layout leaves out of the input page.
    void NoteLeftOut(const TiffPage& page, const TiffLayout& layout, bool converted);

    std::string input_;
    const std::vector<TiffPage>& pages_;
    std::shared_ptr<TiffReadState> readState_;
    std::string temporary_;
    std::string final_;
    WriteSettings settings_;
    TiffWriter writer_;
    bool created_ = false;
    bool closed_ = false;
    std::size_t nextPage_ = 0;
    std::string failure_;
    std::vector<std::string> leftOut_;
    bool profileRemoved_ = false;
};

}  // namespace rdz::formats
