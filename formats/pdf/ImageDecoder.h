// Decoding small images on other cores while the walk over the pages goes on
// (large ones are decoded while they are converted: ImageStreamer.h).
//
// qpdf reads a file on one thread, so the stored (compressed) data of a
// Flate image is taken from it on the reading thread; inflating it and laying
// its samples out as planes, the costly part, happens on a worker. The
// pixels go into the image definition on the reading thread again.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/pdf/ImageRows.h"

namespace rdz::formats::pdf {

struct PdfCatalogue;

class ImageDecoder {
  public:
    explicit ImageDecoder(PdfCatalogue& catalogue) : c_(catalogue) {}
    /// Stops the workers; work not applied yet is dropped.
    ~ImageDecoder();
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;

    /// A buffer for the stored data of the next Add (one of an earlier job
    /// when there is one).
    std::string Buffer();
    /// Decodes `stored` (Flate data, no predictor) into the definition of
    /// the catalogue's image `image`, drawn on `page`. Images decoded in the
    /// meantime are put in place first.
    void Add(int image, int page, std::string stored, int width, int height, SampleTables tables);
    /// Waits for every image and puts it in place: placed on its page, or,
    /// when it cannot be decoded, removed from the document with a warning
    /// and left as it is in the PDF.
    void Finish();

  private:
    struct Job {
        int image = 0;
        int page = 0;
        std::string stored;
        int width = 0;
        int height = 0;
        SampleTables tables;
        std::vector<unsigned char> pixels;  // rows of planes
        std::string error;
        bool taken = false;
        bool done = false;
    };
    static void Decode(Job& job);
    void Work();
    /// Puts the finished jobs in place (reading thread).
    void Apply(bool all);

    /// Buffers of finished jobs, used again: fresh memory costs the system
    /// zeroing every page of it.
    std::vector<unsigned char> TakePixels();
    void Recycle(Job& job);

    PdfCatalogue& c_;
    std::vector<std::string> freeStored_;
    std::vector<std::vector<unsigned char>> freePixels_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace rdz::formats::pdf
