// The inks of a PDF in the document database: the four process inks, the
// registration ink ("All") and one spot ink per colorant name, made when a
// colour first uses them.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/ColourMath.h"
#include "host/kelt_db.h"

namespace rdz::formats {
class InkBooks;
}

namespace rdz::formats::pdf {

/// What the PDF says about a spot colour at full tint.
struct SpotColour {
    bool known = false;  // false: nothing usable (grey is assumed)
    Lab lab{{50.0, 0.0, 0.0}};
    bool hasCmyk = false;  // the alternate space is CMYK: its values
    Cmyk cmyk{{0.0, 0.0, 0.0, 0.0}};
};

class InkTable {
  public:
    InkTable(document_object_t* document, const InkBooks& books);

    /// Process ink 0..3: Cyan, Magenta, Yellow, Black.
    inkt_t* Process(int index);
    /// The registration ink "All".
    inkt_t* Registration();
    /// The ink of colorant `name` (a PDF name without its slash): a process
    /// ink for "Cyan", "Magenta", "Yellow" and "Black", the registration ink
    /// for "All", null for "None", else a spot ink. A spot ink the ink books
    /// know takes its book, colour and opacity from there; otherwise
    /// `colour` is asked once for the PDF's own idea of it. Throws InputError
    /// (naming `where`) for a name longer than an ink name may be.
    inkt_t* Colorant(const std::string& name, const std::function<SpotColour()>& colour,
                     const std::string& where);

    /// The process index of `ink` (0..3), or -1: process inks of any book
    /// count by their name.
    static int ProcessIndex(const inkt_t* ink);
    /// The CMYK that stands for `ink` at full tint in a written colour
    /// space's alternate: a spot's own CMYK alternate when the PDF gave one,
    /// else its L*a*b* (ink book, PDF or the ink's RGB) through `math`.
    Cmyk Equivalent(inkt_t* ink, const ColourMath& math) const;

    /// Remembers the Separation space `space` of `ink` (the first one met),
    /// and gives it back (null when the ink came from no Separation space).
    void RememberSeparation(inkt_t* ink, QPDFObjectHandle space);
    QPDFObjectHandle SeparationOf(inkt_t* ink) const;

  private:
    document_object_t* document_;
    const InkBooks& books_;
    inkt_t* process_[4] = {nullptr, nullptr, nullptr, nullptr};
    inkt_t* registration_ = nullptr;
    std::map<std::string, inkt_t*> spots_;  // by name as the PDF gives it
    std::map<const inkt_t*, SpotColour> colours_;
    std::map<const inkt_t*, QPDFObjectHandle> separations_;
};

}  // namespace rdz::formats::pdf
