#include "formats/pdf/ImageDecoder.h"

#include <algorithm>
#include <cstring>

#include "formats/pdf/PdfCatalogue.h"
#include "formats/pdf/ImageStreamer.h"

namespace rdz::formats::pdf {
namespace {

/// Stored images waiting per worker: bounds the memory they take.
constexpr std::size_t kQueuePerWorker = 2;

}  // namespace

ImageDecoder::~ImageDecoder() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        for (Job& job : jobs_) {
            job.taken = true;
        }
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

std::string ImageDecoder::Buffer() {
    std::lock_guard<std::mutex> guard(lock_);
    if (freeStored_.empty()) {
        return std::string();
    }
    std::string buffer = std::move(freeStored_.back());
    freeStored_.pop_back();
    buffer.clear();
    return buffer;
}

void ImageDecoder::Decode(Job& job) {
    job.error = DecodeFlateImage(job.stored, job.width, job.height, job.tables, job.pixels);
}

void ImageDecoder::Work() {
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [&] {
                return stop_ || std::any_of(jobs_.begin(), jobs_.end(),
                                            [](const Job& j) { return !j.taken; });
            });
            for (Job& candidate : jobs_) {
                if (!candidate.taken) {
                    candidate.taken = true;
                    job = &candidate;
                    break;
                }
            }
            if (job == nullptr) {
                return;  // stopped and nothing left
            }
        }
        Decode(*job);
        {
            std::lock_guard<std::mutex> guard(lock_);
            job->done = true;
        }
        wake_.notify_all();
    }
}

void ImageDecoder::Add(int image, int page, std::string stored, int width, int height,
                       SampleTables tables) {
    Apply(false);
    const std::size_t workers = std::max<std::size_t>(1, std::thread::hardware_concurrency()) - 1;
    if (workers == 0) {
        // One core: decode here and now.
        Job job{image, page, std::move(stored), width, height, std::move(tables), {}, {},
                true,  false};
        Decode(job);
        job.done = true;
        jobs_.push_back(std::move(job));
        Apply(true);
        return;
    }
    while (workers_.size() < workers) {
        workers_.emplace_back([this] { Work(); });
    }
    {
        std::unique_lock<std::mutex> guard(lock_);
        // A full queue waits for a worker to finish one.
        wake_.wait(guard, [&] {
            return std::count_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.done; }) <
                   static_cast<std::ptrdiff_t>(kQueuePerWorker * workers);
        });
        jobs_.push_back(Job{image,
                            page,
                            std::move(stored),
                            width,
                            height,
                            std::move(tables),
                            {},
                            {},
                            false,
                            false});
    }
    wake_.notify_all();
}

void ImageDecoder::Apply(bool all) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            if (all) {
                wake_.wait(guard, [&] { return jobs_.empty() || jobs_.front().done; });
            }
            if (jobs_.empty() || !jobs_.front().done) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        wake_.notify_all();
        ImageRecord& record = c_.images[static_cast<std::size_t>(job.image)];
        if (!job.error.empty()) {
            OBJ_delete(record.definition);
            record.definition = nullptr;
            c_.notes.Warn(record.where + " is left as it is: " + job.error);
            Recycle(job);
            continue;
        }
        cti_image_t* image = CT_internal_handle(record.definition);
        const std::size_t row = static_cast<std::size_t>(job.width) * job.tables.size();
        for (int y = 0; y < job.height; ++y) {
            CTI_putrow_line_il(image, job.pixels.data() + row * static_cast<std::size_t>(y), y, 0,
                               0);
        }
        rdz::kelt::AddImagePlacement(c_.slots.PageLayer(job.page), record.definition);
        record.read = image;
        Recycle(job);
    }
}

std::vector<unsigned char> ImageDecoder::TakePixels() {
    std::lock_guard<std::mutex> guard(lock_);
    if (freePixels_.empty()) {
        return {};
    }
    std::vector<unsigned char> pixels = std::move(freePixels_.back());
    freePixels_.pop_back();
    return pixels;
}

void ImageDecoder::Recycle(Job& job) {
    std::lock_guard<std::mutex> guard(lock_);
    // A few of each are enough: one per job in flight.
    if (freeStored_.size() < 4) {
        freeStored_.push_back(std::move(job.stored));
    }
    if (freePixels_.size() < 4) {
        freePixels_.push_back(std::move(job.pixels));
    }
}

void ImageDecoder::Finish() {
    Apply(true);
}

}  // namespace rdz::formats::pdf
