// Small move-only owners for platform handles, so that every path releases what it took.
#pragma once
#include <windows.h>
#include <objbase.h>

// Owns one value of a handle-like type and releases it through Close when it goes.
template <typename T, typename Close>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != T(); }
    T release()
    {
        T value = value_;
        value_ = T();
        return value;
    }
    // Releases the current value (keeping the caller's last-error code) and takes `value`.
    void reset(T value = T())
    {
        if (value_ != T()) {
            DWORD error = GetLastError();
            Close()(value_);
            SetLastError(error);
        }
        value_ = value;
    }
    // Address for an out-parameter; the current value is released first.
    T* put()
    {
        reset();
        return &value_;
    }

private:
    T value_ = T();
};

struct CloseRegKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct CloseHandleValue {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseFind {
    void operator()(HANDLE find) const { FindClose(find); }
};
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct FreeLocal {
    void operator()(HLOCAL block) const { LocalFree(block); }
};
struct FreeGlobal {
    void operator()(HGLOBAL block) const { GlobalFree(block); }
};
struct FreeSidValue {
    void operator()(PSID sid) const { FreeSid(sid); }
};
struct DestroyWindowValue {
    void operator()(HWND window) const { DestroyWindow(window); }
};

using UniqueKey = UniqueResource<HKEY, CloseRegKey>;
using UniqueHandle = UniqueResource<HANDLE, CloseHandleValue>;  // not for INVALID_HANDLE_VALUE results
using UniqueFind = UniqueResource<HANDLE, CloseFind>;
using UniqueModule = UniqueResource<HMODULE, FreeModule>;
using UniqueLocal = UniqueResource<HLOCAL, FreeLocal>;
using UniqueGlobal = UniqueResource<HGLOBAL, FreeGlobal>;
using UniqueSid = UniqueResource<PSID, FreeSidValue>;
using UniqueWindow = UniqueResource<HWND, DestroyWindowValue>;

// Holds a COM interface pointer and releases it.
template <typename I>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    I* get() const { return ptr_; }
    I* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    void reset()
    {
        if (ptr_) {
            ptr_->Release();
            ptr_ = nullptr;
        }
    }
    I** put()
    {
        reset();
        return &ptr_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

private:
    I* ptr_ = nullptr;
};
