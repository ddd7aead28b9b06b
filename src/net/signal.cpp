#include "net/signal.h"

LSignalObject::LSignalObject() noexcept : hSignalObject(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

LSignalObject::LSignalObject(HANDLE adopted) noexcept : hSignalObject(adopted) {}

void LSignalObject::Set() const noexcept {
    if (hSignalObject) ::SetEvent(hSignalObject.Get());
}

void LSignalObject::Reset() const noexcept {
    if (hSignalObject) ::ResetEvent(hSignalObject.Get());
}

bool LSignalObject::IsSet() const noexcept {
    return ::WaitForSingleObject(hSignalObject.Get(), 0) != WAIT_TIMEOUT;
}

HANDLE LSignalObject::Duplicate() const noexcept { return qdx::DuplicateOwnHandle(hSignalObject.Get()); }

void LSignalObject::Renew() noexcept { hSignalObject.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr)); }

void LSignalObject::Adopt(HANDLE adopted) noexcept { hSignalObject.Reset(adopted); }
