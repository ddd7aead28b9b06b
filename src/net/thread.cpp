#include "net/thread.h"

namespace {

// Longest time Start waits for a new thread to take over its state. A thread
// normally does so within a millisecond; the bound only keeps a broken
// subclass (one that never calls HandOver) from blocking its owner for long.
constexpr DWORD kHandOverWaitMs = 5000;
// Longest time the owner waits for a run to finish a PostMessage before it
// marks the run abandoned. A post never blocks, so this is only a safety bound.
constexpr DWORD kGateWaitMs = 200;

bool Acquired(DWORD waitResult) { return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED; }

}  // namespace

bool LRunSignals::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) const noexcept {
    DWORD gateWait = gate ? ::WaitForSingleObject(gate.Get(), INFINITE) : WAIT_FAILED;
    bool posted = false;
    DWORD error = 0;
    if (!abandoned.IsSet()) {
        posted = ::PostMessageA(hwnd, msg, wParam, lParam) != 0;
        if (!posted) error = ::GetLastError();
    }
    if (Acquired(gateWait)) ::ReleaseMutex(gate.Get());
    ::SetLastError(error);
    return posted;
}

LThread::LThread() noexcept : reportGate(::CreateMutexA(nullptr, FALSE, nullptr)) {}

LThread::~LThread() { StopThreadTimed(5000); }

void LThread::Start(int priority) noexcept {
    if (hThread) {
        DWORD code = 0;
        if (::GetExitCodeThread(hThread.Get(), &code) && code == STILL_ACTIVE) return;
        hThread.Reset();
    }
    stopSignal.Reset();
    handedOver.Reset();
    hThread.Reset(::CreateThread(nullptr, 0, ThreadFunc, this, 0, nullptr));
    if (!hThread) return;
    ::SetThreadPriority(hThread.Get(), priority);
    // Wait until the run has its own copies: only then may StopThreadTimed
    // abandon it and hand this object's fields to a new run.
    HANDLE waitFor[2] = {handedOver.Get(), hThread.Get()};
    if (handedOver.Get()) ::WaitForMultipleObjects(2, waitFor, FALSE, kHandOverWaitMs);
}

void LThread::StopThreadTimed(DWORD milliseconds) noexcept {
    if (!hThread) return;
    stopSignal.Set();
    ::SetThreadPriority(hThread.Get(), ::GetThreadPriority(::GetCurrentThread()));
    if (::WaitForSingleObject(hThread.Get(), milliseconds) == WAIT_TIMEOUT) {
        // Abandon the run: under the gate, so that it is never caught between
        // its check of the mark and its post.
        DWORD gateWait = reportGate ? ::WaitForSingleObject(reportGate.Get(), kGateWaitMs) : WAIT_FAILED;
        abandonSignal.Set();
        if (Acquired(gateWait)) ::ReleaseMutex(reportGate.Get());
        // The run keeps its own handles on the old (set) events; this object
        // goes on with fresh ones. The stop signal stays set until Start.
        abandonSignal.Renew();
        stopSignal.Renew();
        stopSignal.Set();
    }
    hThread.Reset();
}

bool LThread::Running() const noexcept {
    DWORD code = 0;
    return hThread && ::GetExitCodeThread(hThread.Get(), &code) && code == STILL_ACTIVE;
}

DWORD WINAPI LThread::ThreadFunc(LPVOID param) {
    if (!param) return 0;
    static_cast<LThread*>(param)->ThreadFunction();
    return 0;
}

void LThread::HandOver(LRunSignals& run) noexcept {
    run.stop.Adopt(stopSignal.Duplicate());
    run.abandoned.Adopt(abandonSignal.Duplicate());
    run.gate.Reset(qdx::DuplicateOwnHandle(reportGate.Get()));
    handedOver.Set();
}
