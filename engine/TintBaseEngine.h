// Abstract colour engine.
#pragma once

#include <vector>

#include "engine/TintDLProfile.h"
#include "engine/TintLink.h"
#include "engine/TintPostScriptWriter.h"
#include "engine/TintProfile.h"
#include "engine/TintRenderingIntent.h"

/// A colour engine: opens ICC profiles and device-link profiles held in
/// memory, builds links from them and writes PostScript colour resources.
/// Every failure is thrown as TintException. Engines keep one process-wide
/// instance each (see the engine's GetInstance); nothing is synchronised.
class TintBaseEngine {
  public:
    virtual ~TintBaseEngine() = default;

    /// Destroys the engine's process-wide instance and clears it; handles
    /// already given out stay usable.
    virtual void ReleaseInstance() = 0;

    /// The engine id (kTintEngineIdICM, kTintEngineIdLittleCMS).
    virtual unsigned int GetEngineId() const = 0;

    /// Opens the `size` bytes at `data` as an ICC profile. The bytes are not
    /// kept after the call. The handle carries this engine's id.
    virtual TintProfile OpenProfile(const void* data, unsigned int size) = 0;
    /// Opens the `size` bytes at `data` as an ICC device-link profile.
    virtual TintDLProfile OpenDLProfile(const void* data, unsigned int size) = 0;

    /// Link over a device-link profile opened by this engine. Intent
    /// TintRI_FromProfile takes the profile's own intent. Records input then
    /// output side.
    virtual TintLink CreateDeviceLink(const TintDLProfile& profile, TintRenderingIntent intent,
                                      int bitsPerSample, bool blackPointCompensation) = 0;
    /// Link through a chain of profiles opened by this engine (first = input
    /// side, last = output side). Records every profile in chain order.
    virtual TintLink CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                            TintRenderingIntent intent, int bitsPerSample,
                                            bool blackPointCompensation) = 0;
    /// Link from `source` to `destination`, both opened by this engine.
    /// Records source then destination side.
    virtual TintLink CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                                       TintRenderingIntent intent, int bitsPerSample,
                                       bool blackPointCompensation) = 0;

    /// Produces the profile's PostScript colour-rendering dictionary and hands
    /// it to `writer` once; true when the writer took all of it.
    virtual bool GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                                  TintPostScriptWriter writer, void* userData,
                                  bool blackPointCompensation) = 0;
    /// Produces the profile's PostScript colour-space array and hands it to
    /// `writer` once; true when the writer took all of it.
    virtual bool GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                                  TintPostScriptWriter writer, void* userData) = 0;

    /// Chooses the colour-management module: true for the Adobe CMM. Engines
    /// without such a choice ignore it.
    virtual void SetCMM(bool adobeCMM) = 0;

  protected:
    TintBaseEngine() = default;
    TintBaseEngine(const TintBaseEngine&) = delete;
    TintBaseEngine& operator=(const TintBaseEngine&) = delete;
};
