// A device link's content, shared by every TProcLink handle on it and by the
// transforms that apply it: the processes it links, the names of its channels,
// what it was made from (its key and parameter record), its ICC profile, and
// the prepared conversion (acceleration), made on first use.
//
// The content never changes once made, except for the acceleration, which is
// made and dropped under a lock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cms/JsonReader.h"
#include "platform/cms/LcmsHandles.h"

class TProc;

namespace rdz::cms {

enum class LinkKind {
    ColourSpace,  // from one process to another (TCMS_ProcLinkNew)
    InkSaving,    // one process re-separated (TCMS_ProcLinkGCRNew)
};

/// "colour-space" or "ink-saving", as the link's JSON writes it.
const char* KindName(LinkKind kind);

class LinkAcceleration;

class LinkData {
  public:
    struct Properties {
        LinkKind kind = LinkKind::ColourSpace;
        std::shared_ptr<const TProc> source;
        std::shared_ptr<const TProc> destination;
        /// Names of the input and output channels, in channel order.
        std::vector<std::string> sourceChannels;
        std::vector<std::string> destinationChannels;
        int renderingIntent = 3;  // as the CMS library numbers intents
        int grid = 0;             // table points per input channel
        json::Json key;           // what identifies the link (LinkRecipe.h)
        json::Json parameters;    // the parameter record it was made from
        std::vector<unsigned char> icc;
    };

    explicit LinkData(Properties properties);

    LinkKind Kind() const { return p_.kind; }
    const std::shared_ptr<const TProc>& Source() const { return p_.source; }
    const std::shared_ptr<const TProc>& Destination() const { return p_.destination; }
    const std::vector<std::string>& SourceChannels() const { return p_.sourceChannels; }
    const std::vector<std::string>& DestinationChannels() const { return p_.destinationChannels; }
    int RenderingIntent() const { return p_.renderingIntent; }
    int Grid() const { return p_.grid; }
    const json::Json& Key() const { return p_.key; }
    const json::Json& Parameters() const { return p_.parameters; }
    const std::vector<unsigned char>& Icc() const { return p_.icc; }
    const std::string& IccFingerprint() const { return fingerprint_; }

    /// The prepared conversion, made on the first call; null with the reason
    /// in `*error` when the profile cannot be applied.
    std::shared_ptr<const LinkAcceleration> Accelerate(std::string* error);
    /// Releases the prepared conversion (transforms using it keep their own).
    void DropAcceleration();
    bool Accelerated() const;

  private:
    Properties p_;
    std::string fingerprint_;
    mutable std::mutex mutex_;
    std::shared_ptr<const LinkAcceleration> acceleration_;
};

/// A link ready to convert 8-bit pixels: the process channels of the source
/// in, the destination's out, 0 = no ink (grey processes included), 0..255.
/// For the links this library writes (LinkProfile.h), the stored table is
/// interpolated directly by LittleCMS's own interpolation routine, exactly as
/// a LittleCMS transform optimised on that grid would; any other profile goes
/// through a LittleCMS transform.
class LinkAcceleration {
  public:
    static std::shared_ptr<const LinkAcceleration> Create(const LinkData& link, std::string* error);
    ~LinkAcceleration();

    int NrInputs() const { return nIn_; }
    int NrOutputs() const { return nOut_; }
    /// Converts `n` pixels; a pixel equal to the one before it reuses that
    /// one's result. `in` and `out` may be the same buffer when the link has
    /// as many outputs as inputs. Safe to call from several threads at once.
    void Convert(const unsigned char* in, unsigned char* out, int n) const;

  private:
    LinkAcceleration() = default;

    int nIn_ = 0;
    int nOut_ = 0;
    StageHandle table_;          // direct interpolation of the stored table
    TransformHandle transform_;  // otherwise
};

/// Counts kept for the stand-in's controls (StandIn.h).
namespace counters {
void LinkComputed();
void LinkLoaded();
void LinkAccelerated();
}  // namespace counters

}  // namespace rdz::cms
