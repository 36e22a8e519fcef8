// The colour engine over the Windows colour system.
#pragma once

#include <vector>

#include "engine/TintBaseEngine.h"
#include "host/win32_icm.h"

/// The Windows colour-system engine (engine id kTintEngineIdICM). One
/// process-wide instance, created by GetInstance on first call. It works
/// with the Windows CMM (choice 0, the start) or the Adobe CMM (choice 1,
/// SetCMM(true)); with the Adobe CMM every link request first hands its
/// black-point-compensation switch to TintCMMPreferences, the way that CMM
/// learns it; with the Windows CMM the switch is ignored. Link builders
/// resolve TintRI_FromProfile from the header, then check the handles'
/// engine, then the intent. Not thread-safe; the CMM choice is the whole
/// process's.
class TintICM : public TintBaseEngine {
  public:
    /// The process-wide instance, created on first call. Not synchronised.
    static TintICM* GetInstance();

    ~TintICM() override = default;

    /// Deletes the process-wide instance (which may be this object) and
    /// clears it; the next GetInstance creates a new one with the Windows
    /// CMM chosen. The colour system's selected CMM is left as it is.
    void ReleaseInstance() override;
    unsigned int GetEngineId() const override { return m_engineId; }

    /// Opens the bytes through OpenColorProfileA (memory buffer, read,
    /// open-existing) and accepts them only when IsColorProfileValid both
    /// succeeds and reports the profile valid; otherwise closes what was
    /// opened and throws TintException("created profile is invalid").
    TintProfile OpenProfile(const void* data, unsigned int size) override;
    TintDLProfile OpenDLProfile(const void* data, unsigned int size) override;

    /// Throws TintException: "Error misMatchingTypes" for a handle of
    /// another engine, "invalid rendering intent" for an intent other than
    /// 0 to 3 once TintRI_FromProfile is resolved, "Error Creating Link"
    /// when the colour system builds no transform. The link records input
    /// then output side. Any bits per sample is accepted here; Transform
    /// needs 8 and TransformValues 16.
    TintLink CreateDeviceLink(const TintDLProfile& profile, TintRenderingIntent intent,
                              int bitsPerSample, bool blackPointCompensation) override;
    /// As CreateDeviceLink; TintRI_FromProfile takes the last profile's
    /// intent; a handle of another engine throws "Profiles do not match";
    /// an empty chain throws "profile chain is empty".
    TintLink CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                    TintRenderingIntent intent, int bitsPerSample,
                                    bool blackPointCompensation) override;
    /// As CreateDeviceLink; TintRI_FromProfile takes the destination's
    /// intent; handles not both of this engine throw "Profiles do not
    /// match".
    TintLink CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                               TintRenderingIntent intent, int bitsPerSample,
                               bool blackPointCompensation) override;

    /// The colour system's colour-rendering dictionary (black-point
    /// compensation is not passed on). False when the colour system fails
    /// or the writer does not take it all; "profile invalid" / "Profiles do
    /// not match" for an empty or foreign handle.
    bool GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData,
                          bool blackPointCompensation) override;
    /// The colour system's colour-space array of the type that fits the
    /// data colour space (CMYK, Gray, Lab, RGB; XYZ as CIEBasedABC); false
    /// for any other space and as GetPostScriptCRD.
    bool GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData) override;

    /// Stores the choice (1 Adobe, 0 Windows), then selects 'ADBE' or
    /// 'Win ' in the colour system; throws TintException("Could not select
    /// CMM") when it refuses, the choice staying stored.
    void SetCMM(bool adobeCMM) override;
    /// The stored CMM choice: 1 Adobe CMM, 0 Windows CMM.
    int GetCMMChoice() const { return m_cmmChoice; }

  private:
    TintICM() = default;

    HPROFILE OpenChecked(const void* data, unsigned int size) const;
    void HandOverBlackPointCompensation(bool blackPointCompensation) const;
    HPROFILE OwnHandle(const TintProfile& profile, const char* mismatchMessage) const;

    unsigned int m_engineId = kTintEngineIdICM;
    int m_cmmChoice = 0;

    static TintICM* s_instance;
};
