// Base of the engine objects that handles share by counted reference.
#pragma once

#include <cstdint>

template <class T>
class TintCountedRef;

/// An engine object (profile, device-link profile, link) whose lifetime is
/// governed by the TintCountedRef handles that refer to it. The count starts
/// at 0; the last reference to let go deletes the object through its virtual
/// destructor. The count is a plain integer: references are taken and let go
/// on one thread at a time (an object's const operations may say otherwise
/// for themselves, as links do for Transform).
/// Objects are created with `new` and never copied.
class TintCountedObject {
  public:
    TintCountedObject(const TintCountedObject&) = delete;
    TintCountedObject& operator=(const TintCountedObject&) = delete;
    virtual ~TintCountedObject() = default;

    /// Number of references currently held (0 while no handle holds it).
    std::int32_t GetReferenceCount() const { return m_referenceCount; }

  protected:
    TintCountedObject() = default;

  private:
    template <class T>
    friend class TintCountedRef;

    std::int32_t m_referenceCount = 0;
};
