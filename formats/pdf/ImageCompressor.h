// Compressing converted images on other cores, while the conversion goes on.
//
// The library converts image definitions one after the other, reading each
// row by row. When it starts reading the next definition, the one before is
// finished: it is handed to a background thread to be compressed while the
// conversion continues. What is left when the conversion is over is
// compressed on every core at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/pdf/OutputSpaces.h"
#include "formats/pdf/PdfCatalogue.h"

namespace rdz::formats::pdf {

class ImageCompressor {
  public:
    /// Starts the background thread. `spaces` gives the written colour
    /// spaces (used on the calling thread only).
    ImageCompressor(PdfCatalogue& catalogue, OutputSpaces& spaces);
    /// Stops the background thread (work not yet done is dropped).
    ~ImageCompressor();
    ImageCompressor(const ImageCompressor&) = delete;
    ImageCompressor& operator=(const ImageCompressor&) = delete;

    /// Called on the converting thread with each definition the conversion
    /// starts reading: the one before is finished.
    void Reading(const ct_def_t* definition);

    struct Result {
        ImageRecord* record = nullptr;
        const TargetSpace* target = nullptr;
        // What the compressing thread reads of the space: a copy, since the
        // converting thread may update the shared one meanwhile.
        TargetSpace layout;
        std::string compressed;
    };
    /// Compresses every converted image XObject not done yet, waits for all,
    /// and gives them in the catalogue's order. Rethrows what a compression
    /// threw.
    std::vector<Result> Finish();

  private:
    void Add(ImageRecord& record);
    void Work();
    bool Pop(std::size_t* index);

    PdfCatalogue& c_;
    OutputSpaces& spaces_;
    std::map<const ct_def_t*, ImageRecord*> records_;
    const ct_def_t* reading_ = nullptr;

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Result> jobs_;  // stable addresses while workers write results
    std::size_t next_ = 0;     // the next job to take
    std::size_t done_ = 0;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::vector<std::thread> workers_;
};

}  // namespace rdz::formats::pdf
