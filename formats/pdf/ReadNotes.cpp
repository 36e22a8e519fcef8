#include "formats/pdf/ReadNotes.h"

#include <algorithm>

namespace rdz::formats::pdf {
namespace {

std::string Plural(std::size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

void ReadNotes::Left(const std::string& what, const std::string& kind, const std::string& where) {
    left_.push_back({what, kind, where});
}

void ReadNotes::Warn(const std::string& text) {
    if (std::find(warnings_.begin(), warnings_.end(), text) == warnings_.end()) {
        warnings_.push_back(text);
    }
}

std::vector<std::string> ReadNotes::WarningsFrom(std::size_t first,
                                                const std::string& file) const {
    std::vector<std::string> out;
    for (std::size_t i = first; i < warnings_.size(); ++i) {
        out.push_back(file + ": " + warnings_[i]);
    }
    return out;
}

std::vector<std::string> ReadNotes::Warnings(const std::string& file) const {
    std::vector<std::string> out;
    for (const std::string& warning : warnings_) {
        out.push_back(file + ": " + warning);
    }
    if (left_.empty()) {
        return out;
    }
    // Per colour space: how many colours, images and shadings, in the order
    // the spaces were first met.
    struct Count {
        std::string kind;
        std::map<std::string, std::size_t> byWhat;
        std::string first;
    };
    std::vector<Count> counts;
    for (const LeftAlone& left : left_) {
        auto found = std::find_if(counts.begin(), counts.end(),
                                  [&](const Count& c) { return c.kind == left.kind; });
        if (found == counts.end()) {
            counts.push_back({left.kind, {}, left.where});
            found = counts.end() - 1;
        }
        ++found->byWhat[left.what];
    }
    std::string text = file + ": left as they are (not ink colours): ";
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const Count& count = counts[i];
        std::string items;
        for (const char* what : {"colour", "image", "shading"}) {
            const auto n = count.byWhat.find(what);
            if (n != count.byWhat.end()) {
                items += (items.empty() ? "" : ", ") + Plural(n->second, what);
            }
        }
        text +=
            (i == 0 ? "" : "; ") + items + " in " + count.kind + " (first on " + count.first + ")";
    }
    out.push_back(text);
    return out;
}

}  // namespace rdz::formats::pdf
