#include "formats/pdf/ImageCompressor.h"

#include <algorithm>

#include "formats/pdf/Images.h"
#include "formats/pdf/OutputSpaces.h"

namespace rdz::formats::pdf {

ImageCompressor::ImageCompressor(PdfCatalogue& catalogue, OutputSpaces& spaces)
    : c_(catalogue), spaces_(spaces) {
    for (ImageRecord& record : c_.images) {
        if (!record.stream.isNull() && !record.palette && record.definition != nullptr) {
            records_[record.definition] = &record;
        }
    }
    if (!records_.empty()) {
        workers_.emplace_back([this] { Work(); });
    }
}

ImageCompressor::~ImageCompressor() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        next_ = jobs_.size();  // what is not started yet is dropped
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void ImageCompressor::Reading(const ct_def_t* definition) {
    if (definition == reading_) {
        return;
    }
    const auto finished = records_.find(reading_);
    reading_ = definition;
    if (finished != records_.end()) {
        Add(*finished->second);
    }
}

void ImageCompressor::Add(ImageRecord& record) {
    if (!ImageConverted(record)) {
        return;
    }
    // The colour space is made here, on the converting thread: it makes
    // objects of the PDF.
    Result job;
    job.record = &record;
    job.target = &spaces_.For(std::vector<inkt_t*>(
        record.definition->inks, record.definition->inks + record.definition->nrInks));
    job.layout.kind = job.target->kind;
    job.layout.colorants = job.target->colorants;
    {
        std::lock_guard<std::mutex> guard(lock_);
        jobs_.push_back(std::move(job));
    }
    records_.erase(record.definition);
    wake_.notify_one();
}

bool ImageCompressor::Pop(std::size_t* index) {
    std::unique_lock<std::mutex> guard(lock_);
    wake_.wait(guard, [this] { return stop_ || next_ < jobs_.size(); });
    if (next_ >= jobs_.size()) {
        return false;
    }
    *index = next_++;
    return true;
}

void ImageCompressor::Work() {
    std::size_t index = 0;
    while (Pop(&index)) {
        Result* job = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock_);
            job = &jobs_[index];
        }
        std::string compressed;
        std::exception_ptr failure;
        try {
            compressed = CompressedPixels(job->layout, job->record->definition, true);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            job->compressed = std::move(compressed);
            if (failure && !failure_) {
                failure_ = failure;
            }
            ++done_;
        }
        wake_.notify_all();
    }
}

std::vector<ImageCompressor::Result> ImageCompressor::Finish() {
    // Whatever the conversion left: the images not handed over yet.
    std::vector<ImageRecord*> left;
    for (const auto& entry : records_) {
        left.push_back(entry.second);
    }
    for (ImageRecord* record : left) {
        Add(*record);
    }
    std::size_t pending = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        pending = jobs_.size() - next_;
    }
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t t = workers_.size() + 1; t < cores && t <= pending; ++t) {
        workers_.emplace_back([this] { Work(); });
    }
    {
        std::unique_lock<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    // This thread helps with the rest.
    Work();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    std::vector<Result> results(std::make_move_iterator(jobs_.begin()),
                                std::make_move_iterator(jobs_.end()));
    jobs_.clear();
    // In the order of the catalogue, whatever order they were finished in.
    std::sort(results.begin(), results.end(),
              [](const Result& a, const Result& b) { return a.record < b.record; });
    return results;
}

}  // namespace rdz::formats::pdf
