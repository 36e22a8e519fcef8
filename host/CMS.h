// CMS library: the colour-management database (ink books, processes, Color
// Strategies, device links) and the colour transforms that convert pixels.
//
// The library only calls it. Every object is held by std::shared_ptr and may
// outlive TCMS_End. Results of int functions: 0 = success unless the comment
// says otherwise. A library handle is fetched anew with TCMS_GetLib() for every
// call that takes one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCMSLibrary;
class TColTransf;  // a Color Strategy, or a transform between profiles
class TInk;
class TProc;       // a process: an ICC profile or a process of the CMS library's own kind
class TProcLink;   // a device link
class TProcLinkGCRPar;
class TCleanColorsSettings;

namespace TCMS {

/// Type of a Color Strategy. As a requested type: 0 = no check, 2 = Orvex,
/// 3 = Digital Printing; 1 is the type of the profile transforms.
enum ColTransfType : int {
    ColTransfTypeAny = 0,
    ColTransfTypeProfile = 1,
    ColTransfTypeOrvex = 2,
    ColTransfTypeDigitalPrinting = 3,
};

enum Resolution : int { ResolutionLow = 0, ResolutionHigh = 2 };
enum BlackGeneration : int { BlackGenerationNone = 0, BlackGenerationKeep = 2 };

/// Rendering intents as the CMS library numbers them.
enum RenderingIntent : int {
    Perceptual = 2,
    RelativeColorimetric = 3,
    Saturation = 4,
    AbsoluteColorimetric = 5,
};

/// Purpose of an ink-saving separation (grey-component replacement mode).
enum BlackGenMode : int {
    BlackGenModeNone = 0,
    BlackGenModeLight = 1,
    BlackGenModeMedium = 2,
    BlackGenModeInkSaving = 3,
    BlackGenModeHeavy = 4,
};

/// How an advanced item (per-ink setting of a strategy) converts its ink.
enum ColTransfInkOption : int {
    InkOptionAutomatic = 0,
    InkOptionKeep = 1,
    InkOptionExplicitValues = 4,  // the item gives explicit output values
};

enum ColTransfDeviceLinkPolicy : int { DeviceLinkPolicyNone = 0, DeviceLinkPolicyProfiles = 1 };
enum ColTransfRecalculateAdvItem : int { RecalculateAdvItemNo = 0, RecalculateAdvItemYes = 1 };

/// What TCMS_ColTransfSetSrcDstProfiles keeps of the strategy; zero = keep all.
struct ColTransfProfileUpdateSettings {
    int resetAdvancedItems;
    int resetOutputInks;
};

/// Progress callback: (context, done, total); non-zero stops the work.
typedef int (*ProgressFunction)(void* context, int done, int total);
/// Alternative pixel conversion for TCMS_ColTransfInitConvert; unused when null.
typedef int (*ConvertFunction)(void* context, const unsigned char* in, unsigned char* out, int n);

/// An ink and book name with an integer field (the kind of channel).
class InkInfo {
public:
    InkInfo();
    InkInfo(const std::string& book, const std::string& ink, int kind = 0);
    const char* GetInkNamePtr() const;
    const char* GetBookNamePtr() const;
    int GetKind() const;
    /// Book and ink names equal, ignoring case.
    bool NameEquals(const InkInfo& other) const;
    /// The integer fields equal and NameEquals.
    bool operator==(const InkInfo& other) const;
    bool operator!=(const InkInfo& other) const { return !(*this == other); }

private:
    std::string book_;
    std::string ink_;
    int kind_;
};

/// Parameter record of a device link (TCMS_ProcLinkNew, TCMS_ProcLinkGCRNew).
/// Fields are named after their offset in the record's 32-bit layout where the
/// library gives them no name of its own.
struct ProcLinkPar {
    int int0x00 = 0;
    int int0x04 = 0;
    int int0x08 = 0;
    int int0x0C = 0;
    int int0x10 = 255;
    int int0x14 = 0;
    int int0x18 = 255;
    RenderingIntent renderingIntent = RelativeColorimetric;
    int int0x20 = 0;
    bool bool0x24 = true;
    int int0x28 = 0;
    int int0x2C = 0;
    int int0x30 = 0;
    double double0x38 = 0.0;
    std::shared_ptr<TProcLinkGCRPar> gcrParameters;
    std::shared_ptr<void> sharedPtr0x48;
    std::shared_ptr<void> sharedPtr0x50;
    bool bool0x58 = true;
    std::vector<bool> vector0x5C;
    std::string string0x6C;
    bool blackPointCompensation = false;
    std::shared_ptr<TCleanColorsSettings> cleanColors;
    int int0x90 = 0;
    bool bool0x94 = false;
    int int0x98 = 1;
    int int0x9C = 0;
    std::vector<std::shared_ptr<void>> vector0xA0;
};

}  // namespace TCMS

typedef std::vector<std::shared_ptr<TInk>> TInkVector;

// ---------------------------------------------------------------------------
// Library

/// Opens the CMS library (counted: every TCMS_Init needs one TCMS_End).
int TCMS_Init();
int TCMS_End();
std::shared_ptr<TCMSLibrary> TCMS_GetLib();

// ---------------------------------------------------------------------------
// Color Strategies

/// The strategy of that name in the database; empty when absent.
std::shared_ptr<TColTransf> TCMS_ColTransfDBNew(std::shared_ptr<TCMSLibrary> lib, const char* name);
/// An empty strategy of the given type (to import into).
std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type);
/// A transform between two named processes. A null destination means the
/// source's own channels. The two name arrays may be null.
std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type, const char* product,
                                              const char* srcProfile, const char* dstProfile,
                                              TCMS::Resolution resolution,
                                              TCMS::BlackGeneration blackGeneration,
                                              TCMS::RenderingIntent intent, int reserved,
                                              const char** srcInkNames, const char** dstInkNames);
/// A transform that applies the stored device link `linkName` of `product`.
std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type, const char* product,
                                              const char* linkName, TCMS::Resolution resolution);
/// Fills `strategy` from an exported strategy text. 0 = success.
int TCMS_ColTransfImportFromStream(std::shared_ptr<TColTransf> strategy, const char* text);
/// The type of the named strategy in the database; -1 when absent.
TCMS::ColTransfType TCMSDB_ColTransfGetType(std::shared_ptr<TCMSLibrary> lib, const char* name);

int TCMS_ColTransfGetConvertOpaqueInks(std::shared_ptr<TColTransf> strategy);        // non-zero = yes
int TCMS_ColTransfGetConvertUnregisteredInks(std::shared_ptr<TColTransf> strategy);  // non-zero = yes
/// Non-zero when the strategy converts this ink as a process ink of its source.
int TCMS_ColTransfInkIsProcessInk(std::shared_ptr<TColTransf> strategy, const char* book,
                                  const char* ink);
/// Stores the source and destination process names in `*src` and `*dst` (each
/// may be null: not asked). The texts stay valid until the strategy's profiles
/// change. `outputNames` true asks for the names as written to the document.
int TCMS_ColTransfGetSrcDstProfileNames(std::shared_ptr<TColTransf> strategy, const char** src,
                                        const char** dst, bool outputNames);
/// Changes the strategy's profiles. A null or empty name keeps that profile.
/// The names may point into the strategy itself (they are copied first).
int TCMS_ColTransfSetSrcDstProfiles(std::shared_ptr<TColTransf> strategy, const char* src,
                                    const char* dst, TCMS::ColTransfRecalculateAdvItem recalculate,
                                    TCMS::ProgressFunction progress, void* context,
                                    TCMS::ColTransfProfileUpdateSettings settings);
int TCMS_ColTransfSetDeviceLinkPolicy(std::shared_ptr<TColTransf> strategy,
                                      TCMS::ColTransfDeviceLinkPolicy policy, const char* linkName,
                                      void* reserved);
/// Output channels in channel order. false: every channel the strategy
/// computes; true: only the channels that are written to the document.
std::vector<TCMS::InkInfo> TCMS_ColTransfGetNamesOfOutputInks(std::shared_ptr<TColTransf> strategy,
                                                              bool printedOnly);
/// Number of output inks that exist only for advanced items with explicit
/// values; their names are appended to `*list` when it is not null.
int TCMS_ColTransfGetExtraOutputInksForCustomValues(std::shared_ptr<TColTransf> strategy,
                                                    std::vector<TCMS::InkInfo>* list);

// Advanced items (per-ink settings) ---------------------------------------
int TCMS_ColTransfAdvItemGetCount(std::shared_ptr<TColTransf> strategy);
/// Copies the item's book (ink) name into `buffer` (256 bytes, NUL-terminated).
int TCMS_ColTransfAdvItemGetBookName(std::shared_ptr<TColTransf> strategy, int index, char* buffer);
int TCMS_ColTransfAdvItemGetInkName(std::shared_ptr<TColTransf> strategy, int index, char* buffer);
/// Index of the item for this ink (names compared ignoring case); negative = none.
int TCMS_ColTransfAdvItemGetInkIndex(std::shared_ptr<TColTransf> strategy, const char* ink,
                                     const char* book);
TCMS::ColTransfInkOption TCMS_ColTransfAdvItemGetOption(std::shared_ptr<TColTransf> strategy,
                                                        int index);
/// The option as the strategy editor shows it (handed back to ...Change).
int TCMS_ColTransfAdvItemGetOptionGUI(std::shared_ptr<TColTransf> strategy, int index);
/// Copies the item's explicit output values (percent per output channel) into
/// `values`, which must hold the destination's inks plus the extra output inks.
int TCMS_ColTransfAdvItemGetValues(std::shared_ptr<TColTransf> strategy, int index, double* values);
int TCMS_ColTransfAdvItemChange(std::shared_ptr<TColTransf> strategy, int index, const char* ink,
                                const char* book, int optionGUI, int nrValues,
                                const double* values, void* reserved1, void* reserved2);

// Conversion --------------------------------------------------------------
/// Prepares the output space for these input inks.
int TCMS_ColTransfInitOutputSpace(std::shared_ptr<TColTransf> strategy, TInkVector inks);
/// Prepares pixel conversion: `nrInputs` 8-bit input channels, one per entry of
/// `inks` (with a count of 0 the inks are taken from the vector and `opacity`
/// is not read); `nrOutputs` output channels in the order of
/// TCMS_ColTransfGetNamesOfOutputInks(strategy, false).
int TCMS_ColTransfInitConvert(std::shared_ptr<TColTransf> strategy, const TInkVector& inks,
                              const double* opacity, int nrInputs, int inMin, int inMax,
                              int nrOutputs, int outMin, int outMax, int pixelAligned,
                              int reserved, const std::function<int(void*, int, int)>& progress,
                              const std::vector<bool>& flags, const char* text, void* context,
                              TCMS::ConvertFunction convert, bool reserved2);
/// Converts `n` pixels; 0 = success. Safe to call from several threads at
/// once on one strategy, between TCMS_ColTransfInitConvert and
/// TCMS_ColTransfEndConvert, while no other call changes the strategy (a
/// conversion function given to TCMS_ColTransfInitConvert must then be safe
/// to run concurrently as well). Every other call on a strategy is for one
/// thread at a time.
int TCMS_ColTransfConvertAligned(std::shared_ptr<TColTransf> strategy, const unsigned char* in,
                                 unsigned char* out, int n);
/// `flags[i]` non-zero marks input channel i as used by a sample. > 0 when the
/// strategy changes one of the marked channels, 0 when not, < 0 on error.
int TCMS_ColTransfSampleNeedsConvert(std::shared_ptr<TColTransf> strategy, const int* flags);
int TCMS_ColTransfEndConvert(std::shared_ptr<TColTransf> strategy, bool keepCache);

// ---------------------------------------------------------------------------
// Inks

/// The ink of that book and name in the ink database; empty when unknown.
std::shared_ptr<TInk> TIDB_GetInk(std::shared_ptr<TCMSLibrary> lib, const char* book,
                                  const char* ink);
/// An ink built from colour values in a named colour space ("crom_offs": four
/// components; "calibrator": three RGB components 0..1), with that opacity and
/// name. `message` (may be null) receives a text about the build. Empty on failure.
std::shared_ptr<TInk> TIDB_GetColorInk(std::shared_ptr<TCMSLibrary> lib, const char* colorSpace,
                                       const std::vector<double>& values, double opacity,
                                       const char* name, std::string* message,
                                       const std::string& book);
/// Sets `*book` and `*ink` to the ink's names (valid while the ink lives).
int TInk_GetName(std::shared_ptr<TInk> ink, const char** book, const char** name);
/// Display names into `buffer` (256 bytes, NUL-terminated); the name itself
/// when the database has no display name.
int TIDB_ZQNameToGUINameOfBook(std::shared_ptr<TCMSLibrary> lib, const char* book, char* buffer);
int TIDB_ZQNameToGUINameOfInk(std::shared_ptr<TCMSLibrary> lib, const char* book, const char* ink,
                              char* buffer);

// ---------------------------------------------------------------------------
// Processes

std::shared_ptr<TProc> TCMS_ProcDBNew(std::shared_ptr<TCMSLibrary> lib, const char* name);
int TCMS_ProcIsICCProc(std::shared_ptr<TProc> proc);  // non-zero for an ICC profile
int TCMS_ProcGetNrInks(std::shared_ptr<TProc> proc);
TInkVector TCMS_ProcGetInks(std::shared_ptr<TProc> proc);
/// Counts of the named process: its inks and, of those, its spot inks.
int TCMSDB_ProcGetNrs(std::shared_ptr<TCMSLibrary> lib, const char* name, int* nrInks,
                      int* nrSpotInks);

// ---------------------------------------------------------------------------
// Device links, ink saving and clean colours
//
// A device link is a table from the channels of one process to another's,
// kept as an ICC device-link profile in the link store of a product
// (TCMS_ProcLinkDBNewProduct). Links are computed by TCMS_ProcLinkNew and
// TCMS_ProcLinkGCRNew, which first hand back a stored link made from the same
// request, under its stored name, instead of computing it again; a computed
// link has no name ("") until TCMS_ProcLinkSetName.

/// Makes the product's link store known (and creates it). 0 = success.
int TCMS_ProcLinkDBNewProduct(std::shared_ptr<TCMSLibrary> lib, const char* product);
/// A GCR parameter set. d0..d3 are read like the four numbers of
/// TCMS_ProcLinkGCRParNewInkSaving; curve4a holds 1 - the limit of each of C,
/// M, Y, K (0: none; may be null); curve4b and curve3 must be zeros (or null);
/// i0 non-zero keeps black-only colours black-only; i1 is the purpose
/// (TCMS::BlackGenMode). All zeros with i0 = i1 = 1 is the neutral set (no
/// ink limit, no black generated). Empty for values it cannot take.
std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParDBNew(
    std::shared_ptr<TCMSLibrary> lib, const char* name, double d0, double d1, double d2, double d3,
    const double* curve4a, const double* curve4b, const double* curve3, int i0, int i1);
/// An ink-saving GCR parameter set. The four numbers are read as: total ink
/// limit = 4 x (1 - totalInk) in units of 100% (0.2: 320%), black start =
/// 1 - startK, black maximum = 1 - maximumK, range = range; each clamped into
/// its range (limit 1..4, where 4 means none; the others 0..1), so option
/// values passed as they stand (-99, 1, -99, 50) mean no limit, full black
/// range. Black curve: K = maximum x shape(t), t = (grey level - start) /
/// (1 - start) clamped to 0..1, shape by purpose: None 0, Light 0.6 t^2,
/// Medium 0.8 t^1.5, InkSaving t, Heavy t^0.8; the grey level is that of the
/// colour's grey component and black together; the curve is weighted down
/// towards saturated colours by the range and only ever adds black; cyan,
/// magenta and yellow are then solved so the colour stays the same, within
/// the ink limit. Empty for a number that is not finite or an unknown purpose.
std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParNewInkSaving(const char* name,
                                                                 TCMS::BlackGenMode purpose,
                                                                 double totalInk, double startK,
                                                                 double maximumK, double range);
/// A device link from `src` to `dst` computed with `par` (rendering intent,
/// black point compensation, GCR when asked, clean colours); a stored link
/// made from the same request is handed back instead. Empty on failure.
std::shared_ptr<TProcLink> TCMS_ProcLinkNew(std::shared_ptr<TCMSLibrary> lib, const char* product,
                                            std::shared_ptr<TProc> src, std::shared_ptr<TProc> dst,
                                            const TCMS::ProcLinkPar& par);
/// An ink-saving device link on one CMYK process (par.gcrParameters
/// required); a stored one made from the same request is handed back
/// instead. Empty on failure.
std::shared_ptr<TProcLink> TCMS_ProcLinkGCRNew(std::shared_ptr<TCMSLibrary> lib,
                                               const char* product, std::shared_ptr<TProc> proc,
                                               const TCMS::ProcLinkPar& par);
/// The stored link `name` of `product`; empty when none (or damaged). The
/// value ranges must be 0, 255, 0, 255.
std::shared_ptr<TProcLink> TCMS_ProcLinkDBNew(std::shared_ptr<TCMSLibrary> lib, const char* product,
                                              const char* name, int inMin, int inMax, int outMin,
                                              int outMax);
/// The link's name ("" before it has one); valid until the name changes.
const char* TCMS_ProcLinkGetName(std::shared_ptr<TProcLink> link);
int TCMS_ProcLinkSetName(std::shared_ptr<TProcLink> link, const char* name);
/// Stores the link under its name (`overwrite` 0: not over another link) and
/// marks it for writing by TCMS_ProcLinkFlushDB.
int TCMS_ProcLinkSaveInDB(std::shared_ptr<TProcLink> link, int overwrite);
/// Writes the links saved since the last flush, each file atomically.
int TCMS_ProcLinkFlushDB(std::shared_ptr<TCMSLibrary> lib);
/// Prepares the link for conversion (`enable` true) or releases that. 0 = success.
int TCMS_ProcLinkMakeAcceleration(std::shared_ptr<TProcLink> link, bool enable);

std::shared_ptr<TCleanColorsSettings> TCMS_CleanColorsSettingsNew();
/// Channels: 0 cyan, 1 magenta, 2 yellow.
int TCMS_CleanColorsSettingsAddPrimary(std::shared_ptr<TCleanColorsSettings> settings, int channel);
int TCMS_CleanColorsSettingsAddSecondary(std::shared_ptr<TCleanColorsSettings> settings,
                                         int channel1, int channel2);
