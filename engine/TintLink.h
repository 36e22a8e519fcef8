// Engine-neutral handle to a colour transform.
#pragma once

#include "engine/TintColorSpace.h"
#include "engine/TintCountedRef.h"
#include "engine/TintEngineLink.h"

/// A copyable handle sharing one TintEngineLink by counted reference. This is
/// the link the converters hold (as std::shared_ptr<const TintLink>). A
/// default-constructed handle is empty; its operations throw
/// TintException("Link invalid").
///
/// Threads: Transform and TransformValues may be called from several threads
/// at once on one link (with either engine), and so may the const queries.
/// Copying, assigning and destroying handles is for one thread at a time
/// (the reference count is a plain integer), like every engine call that
/// builds or opens something.
class TintLink {
  public:
    /// An empty handle.
    TintLink() = default;
    /// Takes a reference to `link` (null gives an empty handle).
    explicit TintLink(TintEngineLink* link);

    /// True when the handle refers to a link.
    bool IsValid() const { return static_cast<bool>(m_link); }
    /// The engine object, or null for an empty handle; valid while this
    /// handle holds it.
    TintEngineLink* GetEngineLink() const { return m_link.Get(); }

    /// Converts `numberOfPixels` pixels from `input` to `output` in the
    /// link's pixel formats, working directly on the caller's buffers.
    /// Returns false for a negative count or a missing buffer.
    bool Transform(int numberOfPixels, const void* input, void* output) const;
    /// Converts `count` colours given as doubles (see the engine's link).
    bool TransformValues(int count, const double* input, double* output) const;
    /// Recorded chain of the link (see TintEngineLink).
    TintColorSpace GetColorSpace(int index) const;
    int GetNumberOfChannels(int index) const;
    int GetNumberOfColorSpaces() const;
    // All of the above throw TintException("Link invalid") on an empty handle.

  private:
    const TintEngineLink& Checked() const;

    TintCountedRef<TintEngineLink> m_link;
};
