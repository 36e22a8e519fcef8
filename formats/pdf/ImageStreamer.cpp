#include "formats/pdf/ImageStreamer.h"

#include <algorithm>
#include <cstring>

#include <qpdf/Pl_Flate.hh>

#include "formats/pdf/PdfCatalogue.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

/// The rows of one streamed image, for the database.
class StreamedRows : public rdz::kelt::RowSource {
  public:
    StreamedRows(ImageStreamer& streamer, std::size_t index)
        : streamer_(streamer), index_(index) {}
    bool ReadRow(int row, unsigned char* planes) override {
        return streamer_.ReadRow(index_, row, planes);
    }

  private:
    ImageStreamer& streamer_;
    std::size_t index_;
};

/// Stored images larger than this are not streamed.
constexpr std::size_t kMaxStoredBytes = std::size_t{512} << 20;

}  // namespace

std::string DecodeFlateImage(const std::string& stored, int width, int height,
                             const SampleTables& tables, std::vector<unsigned char>& pixels) {
    const std::size_t row = static_cast<std::size_t>(width) * tables.size();
    try {
        pixels.resize(row * static_cast<std::size_t>(height));
        // Whole buffers through libdeflate, each row then laid out as planes
        // in place; a stream it does not take whole goes through zlib row by
        // row, which tells what is wrong with it.
        if (InflateExactly(stored, pixels.data(), pixels.size())) {
            LayOutPlanes(pixels.data(), width, height, tables);
            return std::string();
        }
        RowSink sink(width, height, tables, [&](int y, const unsigned char* planes) {
            std::memcpy(pixels.data() + row * static_cast<std::size_t>(y), planes, row);
        });
        Pl_Flate inflate("image", &sink, Pl_Flate::a_inflate);
        inflate.write(reinterpret_cast<const unsigned char*>(stored.data()), stored.size());
        inflate.finish();
        if (!sink.Complete()) {
            return "it holds fewer rows than its height";
        }
    } catch (const std::exception& e) {
        return std::string("its data cannot be decoded (") + e.what() + ")";
    }
    return std::string();
}

ImageStreamer::Decoding::~Decoding() {
    GiveBack(std::move(pixels));
}

ImageStreamer::~ImageStreamer() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

ct_def_t* ImageStreamer::Add(document_object_t* document, const rdz::kelt::ImageSetup& setup,
                             QPDFObjectHandle stream, SampleTables tables,
                             const std::string& where) {
    const std::size_t index = entries_.size();
    ct_def_t* definition = rdz::kelt::AddStreamedImageDefinition(
        document, setup, std::make_unique<StreamedRows>(*this, index));
    if (definition != nullptr) {
        Entry entry;
        entry.stream = stream;
        entry.width = setup.width;
        entry.height = setup.height;
        entry.tables = std::move(tables);
        entry.where = where;
        entries_.push_back(std::move(entry));
    }
    return definition;
}

void ImageStreamer::StartFirst() {
    if (background_ && !entries_.empty()) {
        Start(0);
    }
}

void ImageStreamer::Decode(const Entry& entry, Decoding& decoding) {
    if (decoding.error.empty()) {
        decoding.pixels = TakeBuffer(static_cast<std::size_t>(entry.width) * entry.tables.size() *
                                     static_cast<std::size_t>(entry.height));
        decoding.error =
            DecodeFlateImage(decoding.stored, entry.width, entry.height, entry.tables,
                             decoding.pixels);
    }
    std::string().swap(decoding.stored);
}

void ImageStreamer::Start(std::size_t index) {
    Entry& entry = entries_[index];
    if (entry.decoding) {
        return;
    }
    auto decoding = std::make_shared<Decoding>();
    if (!StoredData(entry.stream, kMaxStoredBytes, &decoding->stored)) {
        decoding->error = "its data cannot be read";
    }
    entry.decoding = decoding;
    if (!background_) {
        Decode(entry, *decoding);
        decoding->done = true;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        jobs_.emplace_back(decoding, &entry);
    }
    if (!worker_.joinable()) {
        worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
}

void ImageStreamer::Work() {
    for (;;) {
        std::shared_ptr<Decoding> decoding;
        const Entry* entry = nullptr;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [&] { return stop_ || !jobs_.empty(); });
            if (stop_) {
                return;
            }
            decoding = jobs_.front().first;
            entry = jobs_.front().second;
            jobs_.pop_front();
        }
        Decode(*entry, *decoding);
        {
            std::lock_guard<std::mutex> guard(lock_);
            decoding->done = true;
        }
        wake_.notify_all();
    }
}

bool ImageStreamer::ReadRow(std::size_t index, int row, unsigned char* planes) {
    Entry& entry = entries_[index];
    if (row == 0) {
        // Only this image and the next are kept decoded: the others were
        // read to the end, left part-way or never asked for.
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (i != index && i != index + 1) {
                entries_[i].decoding.reset();
            }
        }
        std::lock_guard<std::mutex> guard(lock_);
        jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                                   [](const auto& job) { return job.first.use_count() == 1; }),
                    jobs_.end());
    }
    Start(index);
    if (background_ && row == 0 && index + 1 < entries_.size()) {
        Start(index + 1);  // the next one is decoded while this one is converted
    }
    Decoding& decoding = *entry.decoding;
    if (!decoding.done.load()) {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [&] { return decoding.done.load(); });
    }
    if (!decoding.error.empty()) {
        if (!entry.warned) {
            entry.warned = true;
            c_.notes.Warn(entry.where + " is left as it is: " + decoding.error);
        }
        entry.decoding.reset();
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(entry.width) * entry.tables.size();
    std::memcpy(planes, decoding.pixels.data() + bytes * static_cast<std::size_t>(row), bytes);
    if (row == entry.height - 1) {
        entry.decoding.reset();  // asked for again, it is decoded again
    }
    return true;
}

}  // namespace rdz::formats::pdf
