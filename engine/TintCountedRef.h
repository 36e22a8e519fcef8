// Counted reference to a TintCountedObject.
#pragma once

#include "engine/TintCountedObject.h"

/// Holds one reference to an engine object of type T (derived from
/// TintCountedObject), or nothing. Taking an object (construction from a
/// pointer, copy) increments its count; letting go (destruction,
/// reassignment, Reset) decrements it and deletes the object when the count
/// falls to 0 or below. Assignment takes the new reference before letting go
/// of the old one, so self-assignment and assigning a reference to the same
/// object are safe.
template <class T>
class TintCountedRef {
  public:
    /// An empty reference.
    TintCountedRef() noexcept = default;

    /// Takes a reference to `object` (which may be null: the reference is
    /// then empty). An object with count 0 is owned from here on.
    explicit TintCountedRef(T* object) noexcept : m_object(object) { Acquire(m_object); }

    TintCountedRef(const TintCountedRef& other) noexcept : m_object(other.m_object) {
        Acquire(m_object);
    }

    /// Moves the reference; `other` is left empty and the count unchanged.
    TintCountedRef(TintCountedRef&& other) noexcept : m_object(other.m_object) {
        other.m_object = nullptr;
    }

    ~TintCountedRef() { Release(m_object); }

    TintCountedRef& operator=(const TintCountedRef& other) noexcept {
        T* previous = m_object;
        m_object = other.m_object;
        Acquire(m_object);
        Release(previous);
        return *this;
    }

    TintCountedRef& operator=(TintCountedRef&& other) noexcept {
        if (this != &other) {
            T* previous = m_object;
            m_object = other.m_object;
            other.m_object = nullptr;
            Release(previous);
        }
        return *this;
    }

    /// Lets go of the object, if any; the reference becomes empty.
    void Reset() noexcept {
        T* previous = m_object;
        m_object = nullptr;
        Release(previous);
    }

    /// The object, or null when empty. The pointer is valid while this
    /// reference holds it.
    T* Get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

  private:
    static void Acquire(T* object) noexcept {
        if (object != nullptr) {
            ++static_cast<TintCountedObject*>(object)->m_referenceCount;
        }
    }

    static void Release(T* object) noexcept {
        if (object != nullptr && --static_cast<TintCountedObject*>(object)->m_referenceCount <= 0) {
            delete object;
        }
    }

    T* m_object = nullptr;
};
