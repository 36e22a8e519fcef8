// Registry of the live objects behind opaque Windows handles.
#pragma once

#include <memory>
#include <unordered_map>

namespace rdz_win32 {

/// Owns the objects that handles of one kind stand for, so that a handle
/// that was never given out, or was closed already, is recognised instead
/// of being followed. One thread at a time, like the colour system's users.
template <class T>
class HandleRegistry {
  public:
    /// Takes `object` and returns its handle (never null).
    void* Add(std::unique_ptr<T> object) {
        T* raw = object.get();
        m_objects.emplace(raw, std::move(object));
        return raw;
    }
    /// The object of `handle`, or null for an unknown handle.
    T* Find(void* handle) const {
        const auto found = m_objects.find(handle);
        return found == m_objects.end() ? nullptr : found->second.get();
    }
    /// Destroys the object of `handle`; false for an unknown handle.
    bool Remove(void* handle) { return m_objects.erase(handle) > 0; }
    std::size_t Size() const { return m_objects.size(); }

  private:
    std::unordered_map<void*, std::unique_ptr<T>> m_objects;
};

}  // namespace rdz_win32
