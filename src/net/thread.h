// A restartable worker thread with a timed stop.
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "net/signal.h"

// What one run of a worker keeps of its owner once it has been handed over:
// its own handles on the owner's stop signal and on the owner's "abandoned"
// mark. Both stay valid however long the run lasts, even after the owner has
// given up on it, moved on to a new run, or been destroyed.
class LRunSignals {
public:
    LRunSignals() noexcept : stop(nullptr), abandoned(nullptr) {}
    LRunSignals(const LRunSignals&) = delete;
    LRunSignals& operator=(const LRunSignals&) = delete;

    const LSignalObject& Stop() const noexcept { return stop; }
    bool StopRequested() const noexcept { return stop.IsSet(); }
    bool Abandoned() const noexcept { return abandoned.IsSet(); }
    // PostMessage, but only while the owner still waits for this run: once it
    // has been abandoned nothing more reaches the window, so a late message of
    // an old run cannot be taken for one of a newer run. False when not posted;
    // GetLastError then tells PostMessage's reason (0 when abandoned).
    bool Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) const noexcept;

private:
    friend class LThread;
    LSignalObject stop;
    LSignalObject abandoned;
    qdx::UniqueHandle gate;  // held while posting, and by the owner while it abandons
};

class LThread {
public:
    LThread() noexcept;
    virtual ~LThread();
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    // Starts a thread unless one is still running (then nothing changes).
    // Returns once the new run has taken over its state (see HandOver).
    void Start(int priority) noexcept;
    // Sets the stop signal and waits at most the given time for the thread.
    // A thread that is still running then is abandoned, never killed: killing
    // it inside a heap or name-service call could deadlock the process. Its
    // handle is closed, it keeps its own (set) signal, it posts nothing more,
    // and this object gets fresh signals so that it can start again at once.
    void StopThreadTimed(DWORD milliseconds) noexcept;
    // True while a thread of this object runs (tests, diagnostics).
    bool Running() const noexcept;

    static DWORD WINAPI ThreadFunc(LPVOID param);

protected:
    virtual void ThreadFunction() = 0;
    // ThreadFunction calls this first thing, after copying whatever the run
    // needs from the object: it gives the run its own signal handles and lets
    // Start return. From then on the run must not touch the object at all.
    void HandOver(LRunSignals& run) noexcept;

    qdx::UniqueHandle hThread;
    LSignalObject stopSignal;

private:
    LSignalObject abandonSignal;  // set for a run that was given up on
    LSignalObject handedOver;     // set by HandOver; Start waits for it
    qdx::UniqueHandle reportGate; // mutex shared with the runs (see LRunSignals::Post)
};
