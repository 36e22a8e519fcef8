// Registry of the live objects behind opaque Windows handles.
#pragma once

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace rdz_win32 {

/// Owns the objects that handles of one kind stand for, so that a handle
/// that was never given out, or was closed already, is recognised instead
/// of being followed. Every call may come from any thread (transforms are
/// used from several at once); closing a handle while another thread still
/// uses its object is the caller's fault, as on Windows.
template <class T>
class HandleRegistry {
  public:
    /// Takes `object` and returns its handle (never null).
    void* Add(std::unique_ptr<T> object) {
        T* raw = object.get();
        std::unique_lock<std::shared_mutex> lock(m_mutex);
        m_objects.emplace(raw, std::move(object));
        return raw;
    }
    /// The object of `handle`, or null for an unknown handle.
    T* Find(void* handle) const {
        std::shared_lock<std::shared_mutex> lock(m_mutex);
        const auto found = m_objects.find(handle);
        return found == m_objects.end() ? nullptr : found->second.get();
    }
    /// Destroys the object of `handle`; false for an unknown handle.
    bool Remove(void* handle) {
        std::unique_ptr<T> removed;
        {
            std::unique_lock<std::shared_mutex> lock(m_mutex);
            const auto found = m_objects.find(handle);
            if (found == m_objects.end()) {
                return false;
            }
            removed = std::move(found->second);
            m_objects.erase(found);
        }
        return true;  // `removed` is destroyed outside the lock
    }
    std::size_t Size() const {
        std::shared_lock<std::shared_mutex> lock(m_mutex);
        return m_objects.size();
    }

  private:
    mutable std::shared_mutex m_mutex;
    std::unordered_map<void*, std::unique_ptr<T>> m_objects;
};

}  // namespace rdz_win32
