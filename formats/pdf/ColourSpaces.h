// PDF colour spaces as inks: which ink each component of a colour stands
// for, and the ink amounts of a colour.
//
//   DeviceCMYK, ICCBased with N = 4      Cyan, Magenta, Yellow, Black
//   DeviceGray, CalGray, ICCBased N = 1  Black, at one minus the grey value
//   Separation, DeviceN                  one ink per colorant ("All" is the
//                                        registration ink, "None" no ink)
//   Indexed                              its base space, through the table
//   Pattern with a base space            the base space (uncoloured patterns)
//   DeviceRGB, CalRGB, Lab, ICCBased N=3 not inks: left as they are
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/ColourMath.h"
#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf {

class InkTable;

struct InkSpace {
    enum Family { Process, Gray, Colorants, Indexed, Pattern, Other, Invalid };
    Family family = Invalid;
    /// Values a colour takes (sc/scn operands; image samples per pixel).
    int components = 0;
    /// Process, Gray, Colorants: the ink of each component (null for None).
    std::vector<inkt_t*> inks;
    /// Indexed and Pattern: the base space (null for a Pattern space without
    /// one: coloured patterns and shadings).
    std::shared_ptr<const InkSpace> base;
    /// Indexed: the colour table, (hival + 1) x base components bytes.
    std::vector<unsigned char> lookup;
    int hival = 0;
    /// For messages: "DeviceCMYK", "ICCBased", "Separation", "DeviceRGB", ...
    std::string kind;
    /// A Separation space as the file gives it: written again as it is where
    /// a converted colour is its one spot ink alone.
    QPDFObjectHandle separation;
    /// Why the space cannot be used (Invalid).
    std::string fault;

    bool HasInks() const;
};

using InkSpacePtr = std::shared_ptr<const InkSpace>;

class ColourSpaces {
  public:
    ColourSpaces(InkTable& inks, const ColourMath& math) : inks_(inks), math_(math) {}

    /// The space `given` names: a colour space name or array, or the name of
    /// an entry of `resources`' ColorSpace dictionary. `inlineImage` allows
    /// the abbreviations of inline images (/G, /RGB, /CMYK, /I). Never null;
    /// an unusable space is Invalid with its fault. `where` names the place
    /// for messages. Throws InputError for a colorant name too long for an
    /// ink.
    InkSpacePtr Resolve(QPDFObjectHandle given, QPDFObjectHandle resources, bool inlineImage,
                        const std::string& where);

    /// The device space implied by g/G (1), k/K (4) and rg/RG (3).
    InkSpacePtr Device(int components);

  private:
    InkSpacePtr Parse(QPDFObjectHandle given, QPDFObjectHandle resources, bool inlineImage,
                      const std::string& where, int depth);
    InkSpacePtr ParseArray(QPDFObjectHandle given, QPDFObjectHandle resources, bool inlineImage,
                           const std::string& where, int depth);
    InkSpacePtr Colorants(QPDFObjectHandle given, bool deviceN, const std::string& where);
    InkSpacePtr Named(const std::string& name);

    InkTable& inks_;
    const ColourMath& math_;
    std::map<QPDFObjGen, InkSpacePtr> cache_;
    InkSpacePtr device_[5];
};

/// The ink amounts of a colour of `values` in `space`: every ink of the
/// space, with zero amounts too (a colour names all its inks). Returns false
/// when the colour holds no ink (a space that is not inks, an index out of
/// the table, only None colorants). Values are clamped to 0..1.
bool ColourAmounts(const InkSpace& space, const std::vector<double>& values,
                   std::vector<rdz::kelt::Amount>& amounts);

}  // namespace rdz::formats::pdf
