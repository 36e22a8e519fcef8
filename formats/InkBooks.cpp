#include "formats/InkBooks.h"

#include <lcms2.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

namespace rdz::formats {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

void ReadBook(const std::filesystem::path& file, std::vector<BookInk>& out) {
    std::ifstream in(file);
    const nlohmann::json root = nlohmann::json::parse(in, nullptr, false);
    if (!root.is_object() || !root.contains("inks") || !root["inks"].is_array()) {
        return;
    }
    std::string book = file.stem().string();
    if (root.contains("book") && root["book"].is_string()) {
        book = root["book"].get<std::string>();
    }
    for (const nlohmann::json& ink : root["inks"]) {
        if (!ink.is_object() || !ink.contains("name") || !ink["name"].is_string() ||
            !ink.contains("lab") || !ink["lab"].is_array() || ink["lab"].size() != 3) {
            continue;
        }
        BookInk entry;
        entry.book = book;
        entry.name = ink["name"].get<std::string>();
        bool valid = true;
        for (std::size_t i = 0; i < 3; ++i) {
            valid = valid && ink["lab"][i].is_number();
            entry.lab[i] = valid ? ink["lab"][i].get<double>() : 0.0;
        }
        if (ink.contains("opacity") && ink["opacity"].is_number()) {
            entry.opacity = ink["opacity"].get<double>();
        }
        if (ink.contains("process") && ink["process"].is_boolean()) {
            entry.process = ink["process"].get<bool>();
        }
        if (valid) {
            out.push_back(entry);
        }
    }
}

/// ASCII letters in lower case, the way EqualsIgnoringCase compares.
std::string Fold(const std::string& text) {
    std::string folded(text);
    for (char& c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

InkBooks InkBooks::Load(const std::string& folder) {
    InkBooks books;
    if (folder.empty()) {
        return books;
    }
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(std::filesystem::path(folder) / "inkbooks", ec),
         end;
         !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& file = it->path();
        if (file.extension() == ".json" && file.filename().string()[0] != '.') {
            files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
        ReadBook(file, books.inks_);
    }
    for (std::size_t i = 0; i < books.inks_.size(); ++i) {
        books.Index(i);
    }
    return books;
}

void InkBooks::Index(std::size_t i) {
    const BookInk& ink = inks_[i];
    const std::string name = Fold(ink.name);
    // emplace keeps the first: look-ups answer as a walk in load order would.
    byBookAndName_.emplace(Fold(ink.book) + '\0' + name, i);
    byName_.emplace(name, i);
    (ink.process ? processByName_ : spotByName_).emplace(name, i);
}

const BookInk* InkBooks::Find(const std::string& book, const std::string& name) const {
    const auto found = byBookAndName_.find(Fold(book) + '\0' + Fold(name));
    return found == byBookAndName_.end() ? nullptr : &inks_[found->second];
}

const BookInk* InkBooks::FindByName(const std::string& name, bool process) const {
    const std::string key = Fold(name);
    const auto& preferred = process ? processByName_ : spotByName_;
    auto found = preferred.find(key);
    if (found == preferred.end()) {
        found = byName_.find(key);
        if (found == byName_.end()) {
            return nullptr;
        }
    }
    return &inks_[found->second];
}

std::array<double, 3> LabToSrgb(const std::array<double, 3>& lab) {
    // Built once: the program converts a handful of ink colours.
    static const TransformPtr transform = [] {
        ProfilePtr labProfile(cmsCreateLab4Profile(nullptr));
        ProfilePtr srgb(cmsCreate_sRGBProfile());
        return TransformPtr(cmsCreateTransform(labProfile.get(), TYPE_Lab_DBL, srgb.get(),
                                               TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    }();
    std::array<double, 3> rgb{{0.5, 0.5, 0.5}};
    if (transform) {
        cmsCIELab in{lab[0], lab[1], lab[2]};
        double out[3] = {0.0, 0.0, 0.0};
        cmsDoTransform(transform.get(), &in, out, 1);
        for (std::size_t i = 0; i < 3; ++i) {
            rgb[i] = std::clamp(out[i], 0.0, 1.0);
        }
    }
    return rgb;
}

}  // namespace rdz::formats
