#pragma once

#include <utility>

namespace lumora {

// Intrusive pointer to a BaseObject (or a class derived from it): holding
// adds a reference, letting go releases it. Assigning the pointer already
// held changes nothing; a new object gets its reference before the old one
// is released, so assigning an object the old one alone keeps alive is safe.
template <class T>
class SmartPtr {
public:
    SmartPtr() = default;
    SmartPtr(T* p) : ptr(p) {  // NOLINT: implicit by design, like a raw pointer
        if (ptr) ptr->AddRef();
    }
    SmartPtr(const SmartPtr& other) : SmartPtr(other.ptr) {}
    template <class U>
    SmartPtr(const SmartPtr<U>& other) : SmartPtr(other.get()) {}
    SmartPtr(SmartPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    virtual ~SmartPtr() {
        if (ptr) ptr->Release();
    }

    SmartPtr& operator=(T* p) {
        if (p == ptr) return *this;
        if (p) p->AddRef();
        T* old = std::exchange(ptr, p);
        if (old) old->Release();
        return *this;
    }
    SmartPtr& operator=(const SmartPtr& other) { return *this = other.ptr; }
    SmartPtr& operator=(SmartPtr&& other) noexcept {
        if (this != &other) {
            T* old = std::exchange(ptr, std::exchange(other.ptr, nullptr));
            if (old) old->Release();
        }
        return *this;
    }

    T* get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    bool operator==(const SmartPtr& other) const { return ptr == other.ptr; }
    bool operator==(const T* p) const { return ptr == p; }

private:
    T* ptr = nullptr;
};

}  // namespace lumora
