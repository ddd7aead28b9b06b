// COM for the setup's shell work (shortcut files, the start through the
// desktop shell): ole32 and oleaut32 are loaded from the system folder by the
// install that needs them, not at every start of the program.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "common/systemdll.h"

namespace qdx {

using CoInitializeFn = HRESULT(WINAPI*)(void*);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);

// Releases a COM interface at the end of a scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const noexcept { return p_; }
    T** Put() noexcept { return &p_; }
    T* operator->() const noexcept { return p_; }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// CoInitialize for the scope; CoUninitialize only when the call succeeded
// (S_FALSE included), so a thread already in another apartment keeps its own.
// Without the library nothing can be created: CreateInstance fails.
class ComScope {
public:
    ComScope() noexcept
        : create_(qdx::SystemFunction<CoCreateInstanceFn>("ole32.dll", "CoCreateInstance")),
          uninitialize_(qdx::SystemFunction<CoUninitializeFn>("ole32.dll", "CoUninitialize")) {
        const auto initialize = qdx::SystemFunction<CoInitializeFn>("ole32.dll", "CoInitialize");
        hr_ = initialize && create_ && uninitialize_ ? initialize(nullptr) : E_FAIL;
    }
    ~ComScope() {
        if (SUCCEEDED(hr_)) uninitialize_();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    HRESULT CreateInstance(REFCLSID clsid, DWORD context, REFIID iid, void** out) const noexcept {
        return create_ ? create_(clsid, nullptr, context, iid, out) : E_FAIL;
    }

private:
    CoCreateInstanceFn create_;
    CoUninitializeFn uninitialize_;
    HRESULT hr_ = E_FAIL;
};

}  // namespace qdx
