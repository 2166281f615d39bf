// One counted interface pointer, and the early return that keeps COM plumbing short.
#pragma once

#include "platform/Platform.h"

#define RETURN_IF_FAILED(expression)          \
    do {                                      \
        HRESULT result_ = (expression);       \
        if (FAILED(result_))                  \
            return result_;                   \
    } while (0)

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* pointer) : pointer(pointer)
    {
        if (pointer)
            pointer->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.pointer) {}
    ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept
    {
        T* old = pointer;
        pointer = other.pointer;
        other.pointer = old;
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* owned)
    {
        ComPtr result;
        result.pointer = owned;
        return result;
    }

    void Reset()
    {
        if (pointer) {
            T* old = pointer;
            pointer = nullptr;
            old->Release();
        }
    }
    // For out parameters: releases what is held and hands out the slot.
    T** Put()
    {
        Reset();
        return &pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach()
    {
        T* result = pointer;
        pointer = nullptr;
        return result;
    }
    T* Get() const { return pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    template <typename U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const
    {
        return pointer ? pointer->QueryInterface(iid, out->PutVoid()) : E_POINTER;
    }

private:
    T* pointer = nullptr;
};
