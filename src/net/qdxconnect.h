// The connection worker: runs one recording on the recorder server per run
// and reports to a window with the WM_LINK_* messages of net/link_messages.h.
//
//   QDXConnect worker;                  // one for the life of the window
//   worker.RecordStart(hwnd, data);     // a fresh run (stops any old one first)
//   worker.RecordStop();                // ask the run to end; returns at once
//
// Every run posts WM_LINK_STARTED first and WM_LINK_ENDED last, with its status
// texts (WM_LINK_STATUS, taken with LinkStatusText) and level bytes between.
//
// How Stop reaches a run: RecordStop sets the stop signal the run holds
// (LRunSignals, net/thread.h). Every wait of the run is on that signal and the
// socket's network events together (net/ipsocket.cpp), so the wait ends at
// once with kLinkAborted; the run then closes the socket and posts
// WM_LINK_ENDED. The level loop's rate limit is core/levelrate.h.
#pragma once

#include <windows.h>

#include "core/text.h"
#include "net/link_messages.h"
#include "net/thread.h"

class LIPSocket;

class QDXConnect : public LThread {
public:
    static constexpr DWORD kStopWaitMs = 5000;
    static constexpr int kConnectBudgetMs = 10000;
    static constexpr int kLoginSendBudgetMs = 5000;
    static constexpr int kLoginReplyBudgetMs = 10000;
    static constexpr int kRecordSendBudgetMs = 2000;
    static constexpr int kLevelBudgetMs = 5000;
    static constexpr std::size_t kStatusSize = 340;

    QDXConnect() noexcept;
    ~QDXConnect() override;

    // Stops what is left of a previous run (waiting at most 5000 ms), then starts
    // a new run that reports to notify. recordData (cut to 259 characters) is
    // copied; the caller's text need not outlive the call.
    void RecordStart(HWND notify, const char* recordData) noexcept;
    // Sets the stop signal; the run ends at once, whatever it waits for.
    void RecordStop() noexcept;

protected:
    void ThreadFunction() override;

private:
    struct Run;  // what one run owns, on the worker thread's stack

    static void Execute(Run& run);
    static void ConnectLoop(Run& run, LIPSocket& socket);
    static void ReportStatus(const Run& run, const char* text);
    static void ReportAlert(const Run& run, const char* text);

    HWND hWndNotify;
    char szRecordData[qdx::kTextSize];
};
