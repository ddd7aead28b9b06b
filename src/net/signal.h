// A manual-reset event that one thread sets and another polls.
#pragma once

#include <windows.h>

#include "common/handles.h"

class LSignalObject {
public:
    LSignalObject() noexcept;                  // a fresh, unset event
    explicit LSignalObject(HANDLE adopted) noexcept;  // takes ownership of an event handle
    LSignalObject(const LSignalObject&) = delete;
    LSignalObject& operator=(const LSignalObject&) = delete;

    void Set() const noexcept;
    void Reset() const noexcept;
    // True unless a zero wait times out: a missing or broken event counts as set,
    // so a worker that polls it ends rather than running on unstoppable.
    bool IsSet() const noexcept;
    HANDLE Get() const noexcept { return hSignalObject.Get(); }

    // A second handle on the same event, for a thread that must keep seeing it
    // after this object has moved on (null on failure). The caller owns it.
    HANDLE Duplicate() const noexcept;
    // Lets go of the current event (other holders keep it) and makes a fresh unset one.
    void Renew() noexcept;
    // Lets go of the current event and takes ownership of another handle.
    void Adopt(HANDLE adopted) noexcept;

private:
    qdx::UniqueHandle hSignalObject;
};
