// The colour engine over LittleCMS 2.
#pragma once

#include <lcms2.h>

#include <string>
#include <vector>

#include "engine/TintBaseEngine.h"
#include "engine/TintLink.h"

class TintLittleCMSDLProfile;
class TintLittleCMSProfile;

/// The LittleCMS engine (engine id kTintEngineIdLittleCMS). One process-wide
/// instance, created by GetInstance on first call. Link builders accept
/// only handles opened by this engine ("Profiles do not match" otherwise)
/// and 8 or 16 bits per sample; they hand intents 0 to 3 to LittleCMS as
/// they are and any other value as 20. No state is kept between calls
/// besides the error code (one per thread) and, when asked for, the device
/// links kept for reuse (SetDeviceLinkReuse); not thread-safe, except for
/// the links' Transform and TransformValues (TintLittleCMSLink.h).
class TintLittleCMS : public TintBaseEngine {
  public:
    /// The process-wide instance, created on first call. Not synchronised.
    static TintLittleCMS* GetInstance();

    ~TintLittleCMS() override = default;

    /// Deletes the process-wide instance (which may be this object) and
    /// clears it; the next GetInstance creates a new one.
    void ReleaseInstance() override;
    unsigned int GetEngineId() const override { return m_engineId; }

    /// Throws TintException("Could not open profile") for bytes LittleCMS
    /// does not accept (null, empty, truncated, not a profile).
    TintProfile OpenProfile(const void* data, unsigned int size) override;
    TintDLProfile OpenDLProfile(const void* data, unsigned int size) override;

    /// Transform from the profile's input side to its output side. Records
    /// input space, input channels, output space, output channels.
    TintLink CreateDeviceLink(const TintDLProfile& profile, TintRenderingIntent intent,
                              int bitsPerSample, bool blackPointCompensation) override;
    /// Transform through the chain; TintRI_FromProfile takes the last
    /// profile's intent. An empty chain throws TintException("profile chain
    /// is empty").
    TintLink CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                    TintRenderingIntent intent, int bitsPerSample,
                                    bool blackPointCompensation) override;
    /// Transform from source to destination; TintRI_FromProfile takes the
    /// destination's intent.
    TintLink CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                               TintRenderingIntent intent, int bitsPerSample,
                               bool blackPointCompensation) override;
    // The three builders throw "profile invalid" for an empty handle,
    // "Profiles do not match" for a handle of another engine, "bitsPerSample
    // not 8 or 16", and "Error creating Link" when a side has no pixel format
    // or LittleCMS builds no transform.

    /// LittleCMS's colour-rendering dictionary for the profile (black-point
    /// compensation as asked), handed to `writer` once. Throws
    /// TintException("Error Creating Postscript") when LittleCMS produces
    /// nothing; returns false for a null writer.
    bool GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData,
                          bool blackPointCompensation) override;
    /// LittleCMS's colour-space array for the profile; as GetPostScriptCRD.
    bool GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData) override;

    /// Does nothing: LittleCMS has no CMM choice.
    void SetCMM(bool adobeCMM) override;

    /// Off by default. While on, CreateDeviceLink hands back the link it
    /// built before for a device link of the same bytes (opened while on)
    /// with the same intent, bits per sample and black-point switch: the
    /// very transform, so the same output, without building it again (for
    /// a program that converts many inputs through one device-link file).
    /// The last few links are kept, each holding its transform until it
    /// leaves the list, reuse is turned off or the engine is released.
    void SetDeviceLinkReuse(bool reuse);

  private:
    TintLittleCMS() = default;

    const TintLittleCMSProfile& OwnProfile(const TintProfile& profile) const;
    const TintLittleCMSDLProfile& OwnProfile(const TintDLProfile& profile) const;

    unsigned int m_engineId = kTintEngineIdLittleCMS;

    struct KeptDeviceLink {
        std::string bytes;
        cmsUInt32Number inFormat;
        cmsUInt32Number outFormat;
        cmsUInt32Number intent;
        cmsUInt32Number flags;
        TintLink link;
    };
    bool m_reuseDeviceLinks = false;
    std::vector<KeptDeviceLink> m_keptDeviceLinks;  // oldest first

    static TintLittleCMS* s_instance;
};
