#pragma once
// Owning pointer for GObject references: unrefs on destruction.

#include <glib-object.h>

#include <utility>

namespace vela {

template <typename T>
class GObjectPtr {
  public:
    GObjectPtr() = default;
    // Takes over one reference the caller owns (a "transfer full" return value).
    explicit GObjectPtr(T* adopted) : ptr_(adopted) {}
    GObjectPtr(const GObjectPtr& other) : ptr_(other.ptr_) {
        if (ptr_)
            g_object_ref(ptr_);
    }
    GObjectPtr(GObjectPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~GObjectPtr() {
        if (ptr_)
            g_object_unref(ptr_);
    }
    // Adds a reference to a borrowed ("transfer none") object.
    static GObjectPtr retain(T* borrowed) {
        if (borrowed)
            g_object_ref(borrowed);
        return GObjectPtr(borrowed);
    }
    T* get() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

  private:
    T* ptr_ = nullptr;
};

}  // namespace vela
