// The ink books of a CMS database folder, read for what the program needs to
// know about an ink that a TIFF file names only by its name, and for the
// colours of the preview.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace rdz::formats {

struct BookInk {
    std::string book;
    std::string name;
    std::array<double, 3> lab{{0.0, 0.0, 0.0}};
    double opacity = 0.0;
    bool process = false;
};

class InkBooks {
  public:
    /// Reads `<folder>/inkbooks/*.json`. Files that cannot be read are left
    /// out silently: the CMS library reports them when it opens the database.
    /// An empty folder name gives no books.
    static InkBooks Load(const std::string& folder);

    /// The ink of that book and name (both ignoring case), or null.
    const BookInk* Find(const std::string& book, const std::string& name) const;
    /// The first ink of that name in any book (books in file-name order), or
    /// null; a process ink is preferred when `process` is true.
    const BookInk* FindByName(const std::string& name, bool process) const;

  private:
    /// Indexes the ink at `inks_[i]` (called in load order).
    void Index(std::size_t i);

    std::vector<BookInk> inks_;
    // Folded (ASCII lower case) keys to positions in inks_: a look-up costs
    // the same for a book of 200,000 inks as for one of ten.
    std::unordered_map<std::string, std::size_t> byBookAndName_;  // the first of each
    std::unordered_map<std::string, std::size_t> byName_;         // the first of each name
    std::unordered_map<std::string, std::size_t> processByName_;  // the first process ink
    std::unordered_map<std::string, std::size_t> spotByName_;     // the first other ink
};

/// sRGB (0..1 each) of a CIE L*a*b* (D50) colour, through LittleCMS.
std::array<double, 3> LabToSrgb(const std::array<double, 3>& lab);

/// Case-insensitive ASCII comparison.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace rdz::formats
