// What a document file that an output is about to replace says about its
// pixel files, read quickly: the "images" array only (written before the
// paints), the rest of the file left unread.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace rdz::formats::json {

/// The pixel file names that the document file an output replaces gives
/// under "images", per image id.
class PreviousOutput {
  public:
    explicit PreviousOutput(const std::string& path) { Read(path); }

    /// (image id, pixel file as written) of every image that names one.
    const std::vector<std::pair<std::string, std::string>>& Pixels() const { return pixels_; }

  private:
    void Read(const std::string& path);

    /// Collects "/images/<n>/id" and "/images/<n>/pixels".
    struct Reader {
        explicit Reader(PreviousOutput& owner) : owner_(owner) {}
        bool null() { return Value(std::string(), false); }
        bool boolean(bool) { return Value(std::string(), false); }
        bool number_integer(std::int64_t) { return Value(std::string(), false); }
        bool number_unsigned(std::uint64_t) { return Value(std::string(), false); }
        bool number_float(double, const std::string&) { return Value(std::string(), false); }
        bool string(std::string& text) { return Value(text, true); }
        bool binary(nlohmann::json::binary_t&) { return true; }
        bool start_object(std::size_t) {
            Open();
            ++depth_;
            if (depth_ == 3 && inImages_) {
                id_.clear();
                pixels_.clear();
            }
            return true;
        }
        bool end_object() {
            if (depth_ == 3 && inImages_ && !pixels_.empty()) {
                owner_.pixels_.emplace_back(id_, pixels_);
            }
            --depth_;
            return true;
        }
        bool start_array(std::size_t) {
            Open();
            ++depth_;
            return true;
        }
        bool end_array() {
            --depth_;
            if (depth_ == 1 && inImages_) {
                inImages_ = false;
                return false;  // every name is read: the rest is not needed
            }
            return true;
        }
        bool key(std::string& key) {
            key_ = key;
            return true;
        }
        bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
            return false;
        }

      private:
        void Open() {
            if (depth_ == 1) {
                inImages_ = key_ == "images";
            }
        }
        bool Value(const std::string& text, bool isText) {
            if (depth_ == 3 && inImages_ && isText) {
                if (key_ == "id") {
                    id_ = text;
                } else if (key_ == "pixels") {
                    pixels_ = text;
                }
            }
            return true;
        }

        PreviousOutput& owner_;
        int depth_ = 0;
        bool inImages_ = false;
        std::string key_;
        std::string id_;
        std::string pixels_;
    };

    std::vector<std::pair<std::string, std::string>> pixels_;
};

}  // namespace rdz::formats::json
