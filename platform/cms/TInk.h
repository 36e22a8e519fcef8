// An ink of the CMS library: an ink of an ink book, a channel of a process, or
// an ink built from colour values that a document keeps on its ink.
//
// Inks are immutable once made and shared (std::shared_ptr<TInk>); an ink
// handed out by the database stays valid after TCMS_End.
#pragma once

#include <array>
#include <string>
#include <vector>

class TInk {
  public:
    /// Where the ink comes from.
    enum class Origin {
        InkBook,  // an ink of an ink book (inkbooks/*.json)
        Process,  // a channel or a spot ink of a process (processes/)
        Color,    // built by TIDB_GetColorInk from colour values
    };

    struct Properties {
        Origin origin = Origin::InkBook;
        std::string book;                              // book name (process inks: see TProc)
        std::string name;                              // ink name
        std::string bookDisplayName;                   // empty: the book name
        std::string displayName;                       // empty: the ink name
        std::array<double, 3> lab{{100.0, 0.0, 0.0}};  // CIE L*a*b*, D50
        double opacity = 0.0;                          // 0 transparent .. 1 opaque
        bool process = false;                          // a process ink
        std::string colorSpace;                        // Color inks: "crom_offs" or "calibrator"
        std::vector<double> sourceValues;              // Color inks: the values given
    };

    explicit TInk(Properties properties);

    Origin GetOrigin() const { return p_.origin; }
    const std::string& Book() const { return p_.book; }
    const std::string& Name() const { return p_.name; }
    /// Display names; the plain name when the database gives none.
    const std::string& BookDisplayName() const;
    const std::string& DisplayName() const;
    /// Colour of the ink at full tint on white paper, CIE L*a*b* (D50).
    const std::array<double, 3>& Lab() const { return p_.lab; }
    double Opacity() const { return p_.opacity; }
    bool IsProcess() const { return p_.process; }
    /// For inks built from colour values: the colour space name and the
    /// values as given; empty otherwise.
    const std::string& ColorSpace() const { return p_.colorSpace; }
    const std::vector<double>& SourceValues() const { return p_.sourceValues; }

  private:
    Properties p_;
};
