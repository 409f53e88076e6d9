#pragma once

#include "common/Export.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace FenmarlCommonDLL {

// Intrusive reference count; the object deletes itself when the last
// SmartPointer lets go.
class FENMARL_COMMON_API SmartPointerBase
{
public:
    SmartPointerBase();
    // A copy is a new object: it starts without references.
    SmartPointerBase(const SmartPointerBase&);
    SmartPointerBase& operator=(const SmartPointerBase&);
    virtual ~SmartPointerBase();

    void increment();
    void decrement();
    std::int32_t referenceCount() const;

private:
    std::atomic<std::int32_t> count_{0};
};

template <typename T> class SmartPointer
{
public:
    SmartPointer() = default;
    SmartPointer(std::nullptr_t) {}
    explicit SmartPointer(T* object) : object_(object)
    {
        if (object_) object_->increment();
    }
    SmartPointer(const SmartPointer& other) : SmartPointer(other.object_) {}
    SmartPointer(SmartPointer&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <typename U> SmartPointer(const SmartPointer<U>& other) : SmartPointer(other.get()) {}
    ~SmartPointer() { reset(); }

    SmartPointer& operator=(const SmartPointer& other)
    {
        SmartPointer copy(other);
        swap(copy);
        return *this;
    }
    SmartPointer& operator=(SmartPointer&& other) noexcept
    {
        SmartPointer moved(std::move(other));
        swap(moved);
        return *this;
    }

    void reset()
    {
        if (T* old = std::exchange(object_, nullptr)) old->decrement();
    }
    void swap(SmartPointer& other) noexcept { std::swap(object_, other.object_); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool operator==(const SmartPointer& other) const { return object_ == other.object_; }

private:
    T* object_ = nullptr;
};

} // namespace FenmarlCommonDLL
