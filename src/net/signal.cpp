#include "net/signal.h"

#include "common/handles.h"

LSignalObject::LSignalObject() noexcept : hSignalObject(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

LSignalObject::LSignalObject(HANDLE adopted) noexcept : hSignalObject(adopted) {}

LSignalObject::~LSignalObject() {
    if (hSignalObject) ::CloseHandle(hSignalObject);
}

void LSignalObject::Set() const noexcept {
    if (hSignalObject) ::SetEvent(hSignalObject);
}

void LSignalObject::Reset() const noexcept {
    if (hSignalObject) ::ResetEvent(hSignalObject);
}

bool LSignalObject::IsSet() const noexcept {
    return ::WaitForSingleObject(hSignalObject, 0) != WAIT_TIMEOUT;
}

HANDLE LSignalObject::Duplicate() const noexcept { return qdx::DuplicateOwnHandle(hSignalObject); }

void LSignalObject::Renew() noexcept {
    if (hSignalObject) ::CloseHandle(hSignalObject);
    hSignalObject = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void LSignalObject::Adopt(HANDLE adopted) noexcept {
    if (hSignalObject) ::CloseHandle(hSignalObject);
    hSignalObject = adopted;
}
