// Handle to an ICC device-link profile opened by a colour engine.
#pragma once

#include <string>

#include "engine/TintColorSpace.h"
#include "engine/TintCountedRef.h"
#include "engine/TintEngineDLProfile.h"
#include "engine/TintEngineId.h"
#include "engine/TintRenderingIntent.h"

/// A copyable handle sharing one TintEngineDLProfile by counted reference,
/// together with the id of the engine that opened it. A default-constructed
/// handle is empty; its operations throw TintException("profile invalid").
class TintDLProfile {
  public:
    /// An empty handle with engine id kTintEngineIdNone.
    TintDLProfile() = default;
    /// Takes a reference to `profile` (null gives an empty handle) opened by
    /// the engine with id `engineId`.
    TintDLProfile(TintEngineDLProfile* profile, unsigned int engineId);

    /// True when the handle refers to a device-link profile.
    bool IsValid() const { return static_cast<bool>(m_profile); }
    /// Id of the engine that opened the profile.
    unsigned int GetEngineId() const { return m_engineId; }
    /// True when both handles carry the same engine id.
    bool IsSameEngine(const TintDLProfile& other) const { return m_engineId == other.m_engineId; }
    /// The engine object, or null for an empty handle. For engines only;
    /// valid while this handle holds it.
    TintEngineDLProfile* GetEngineProfile() const { return m_profile.Get(); }

    // Forward to the engine profile; each throws TintException("profile
    // invalid") on an empty handle, and passes the engine's exceptions on.
    TintRenderingIntent GetRenderingIntent() const;
    TintColorSpace GetInputColorSpace() const;
    TintColorSpace GetOutputColorSpace() const;
    int GetNumberOfInputChannels() const;
    int GetNumberOfOutputChannels() const;
    std::string GetInputColorantName(unsigned int index) const;
    std::string GetOutputColorantName(unsigned int index) const;

  private:
    const TintEngineDLProfile& Checked() const;

    TintCountedRef<TintEngineDLProfile> m_profile;
    unsigned int m_engineId = kTintEngineIdNone;
};
