#pragma once

#include <glib-object.h>

#include <utility>

namespace packager::image {

// Owns one reference to a GObject (VipsImage, VipsSource, VipsTarget). Taking
// a reference is always spelled out: adopt() for the new reference a libvips
// call hands back, share() to add one to an object owned elsewhere.
template <typename T>
class VipsRef {
public:
    VipsRef() = default;
    static VipsRef adopt(T* object) { return VipsRef(object); }
    static VipsRef share(T* object) {
        if (object != nullptr) g_object_ref(object);
        return VipsRef(object);
    }

    VipsRef(VipsRef&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    VipsRef& operator=(VipsRef&& other) noexcept {
        if (this != &other) {
            reset();
            object = std::exchange(other.object, nullptr);
        }
        return *this;
    }
    VipsRef(const VipsRef&) = delete;
    VipsRef& operator=(const VipsRef&) = delete;
    ~VipsRef() { reset(); }

    T* get() const { return object; }
    explicit operator bool() const { return object != nullptr; }

private:
    explicit VipsRef(T* object) : object(object) {}
    void reset() {
        if (object != nullptr) g_object_unref(std::exchange(object, nullptr));
    }

    T* object = nullptr;
};

}  // namespace packager::image
