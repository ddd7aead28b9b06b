// Windows Sockets wants its header ahead of <windows.h>.
#include <winsock2.h>

#include "net/qdxconnect.h"

#include <cstdio>

#include "core/levelrate.h"
#include "core/protocol.h"
#include "net/ipsocket.h"
#include "settings/settings.h"

namespace {

// Status texts; %s is the whole server text, port part included.
const char kTextConnecting[] = "Connecting to %s";
const char kTextUnableToConnect[] = "Unable to connect to %s!";
const char kTextAborted[] = "Connection aborted.";
const char kTextNoReply[] = "Server %s failed to respond!";
const char kTextVersion[] = "Server does not support this QDX Remote control version!";
const char kTextNotAccepted[] = "Username or Password not accepted!";
const char kTextInvalidReply[] = "Server gave invalid reply!";
const char kTextConnected[] = "Connected to %s";
const char kTextBroken[] = "Connection to server broken";
const char kTextDisconnecting[] = "Disconnecting from %s";

constexpr WPARAM kPlain = 0;
constexpr WPARAM kAlert = 1;

// A window whose queue is full refuses posts. Levels may then be dropped, but
// the start, the end and the texts are retried for a short while so that the
// window still learns them; the worker never waits longer than this per message.
constexpr int kQueueFullRetries = 25;
constexpr DWORD kQueueFullPauseMs = 10;

// The most level bytes taken from the socket in one read. What one read
// brings came at once; of those, the newest are passed on. A read that fills
// the buffer means the server is ahead of any meter: the worker then pauses
// before the next, so that a flood is drained quickly without the worker
// spinning on it for as long as the server keeps it up.
constexpr unsigned kLevelReadSize = 4096;
constexpr DWORD kFloodPauseMs = 10;

// Names the record channel and hands over the record text. Three sends whose
// results are not looked at: a failure shows up as a missing level byte.
void SendRecordRequest(const LSignalObject& stop, SOCKET s, const char* recordData) {
    const int channel = ReadSettingInt(kSectionSettings, kSettingRecordChannel, kDefaultRecordChannel);
    RecordRequest request = BuildRecordRequest(channel, recordData);
    ProcessSend(stop, s, &request.channel, 1, QDXConnect::kRecordSendBudgetMs);
    ProcessSend(stop, s, &request.length, 1, QDXConnect::kRecordSendBudgetMs);
    ProcessSend(stop, s, request.data, request.length, QDXConnect::kRecordSendBudgetMs);
}

// Waits at most waitMs for levels and takes whatever has come in one read: a
// server that floods the link costs a few calls per buffer, not a few per byte.
int ReadLevels(const LSignalObject& stop, SOCKET s, int waitMs, signed char (&levels)[kLevelReadSize],
               int& received) {
    const int code = WaitReadable(stop, s, waitMs);
    return code == kLinkDone ? ProcessRecvReady(stop, s, levels, sizeof levels, received, QDXConnect::kLevelBudgetMs)
                             : code;
}

}  // namespace

struct QDXConnect::Run {
    HWND hWndNotify = nullptr;
    char szRecordData[qdx::kTextSize] = {};
    LRunSignals signals;
    char szServer[qdx::kTextSize] = {};

    // Posts a message that must not be lost; false when it was not posted.
    bool PostSurely(UINT msg, WPARAM wParam, LPARAM lParam) const {
        if (!hWndNotify) return false;
        for (int attempt = 0;; ++attempt) {
            if (signals.Post(hWndNotify, msg, wParam, lParam)) return true;
            if (::GetLastError() != ERROR_NOT_ENOUGH_QUOTA || attempt == kQueueFullRetries) return false;
            ::Sleep(kQueueFullPauseMs);
        }
    }
    void Report(WPARAM kind, const char* format) const {
        if (!hWndNotify) return;
        char text[kStatusSize];
        qdx::FormatText(text, sizeof text, format, szServer);
        LPARAM copy = LinkStatusText::Make(text);
        if (copy && !PostSurely(WM_LINK_STATUS, kind, copy)) LinkStatusText::Discard(copy);
    }
};

QDXConnect::QDXConnect() noexcept : hWndNotify(nullptr), szRecordData() {}

QDXConnect::~QDXConnect() { StopThreadTimed(kStopWaitMs); }

void QDXConnect::RecordStart(HWND notify, const char* recordData) noexcept {
    StopThreadTimed(kStopWaitMs);
    hWndNotify = notify;
    qdx::CopyText(szRecordData, recordData);
    Start(0);
}

void QDXConnect::RecordStop() noexcept { stopSignal.Set(); }

void QDXConnect::ThreadFunction() {
    Run run;
    run.hWndNotify = hWndNotify;
    qdx::CopyText(run.szRecordData, szRecordData);
    HandOver(run.signals);
    // From here on the run uses only its own state: the object may be
    // restarted or destroyed while an abandoned run is still winding down.
    Execute(run);
}

void QDXConnect::ReportStatus(const Run& run, const char* text) { run.Report(kPlain, text); }

void QDXConnect::ReportAlert(const Run& run, const char* text) { run.Report(kAlert, text); }

void QDXConnect::Execute(Run& run) {
    run.PostSurely(WM_LINK_STARTED, 0, 0);
    ReadSetting(kSectionSettings, kSettingServer, kDefaultServer, run.szServer);
    ReportStatus(run, kTextConnecting);
    LIPSocket socket;
    const LSignalObject& stop = run.signals.Stop();
    int code = ProcessConnectWithPort(stop, socket.hSocket, run.szServer, kRecorderPort, kConnectBudgetMs, true);
    if (code == kLinkFailed) {
        ReportAlert(run, kTextUnableToConnect);
    } else if (code == kLinkAborted) {
        ReportStatus(run, kTextAborted);
    } else {
        char user[qdx::kTextSize];
        char password[qdx::kTextSize];
        ReadSetting(kSectionSettings, kSettingUserName, kDefaultUserName, user);
        ReadSetting(kSectionSettings, kSettingPassword, kDefaultPassword, password);
        unsigned char login[kLoginRequestMax];
        std::size_t loginSize = BuildLoginRequest(user, password, login);
        SecureZeroMemory(password, sizeof password);
        // A failed send shows up as a missing reply.
        ProcessSend(stop, socket.hSocket.Get(), login, static_cast<int>(loginSize), kLoginSendBudgetMs);
        SecureZeroMemory(login, sizeof login);

        unsigned char reply[kLoginReplySize] = {};
        code = ProcessRecvBytes(stop, socket.hSocket.Get(), reply, kLoginReplySize, kLoginReplyBudgetMs);
        if (code == kLinkAborted) {
            // The user stopped: that is no fault of the server.
            ReportStatus(run, kTextAborted);
        } else if (code != kLinkDone) {
            ReportAlert(run, kTextNoReply);
        } else {
            switch (DecideLoginReply(reply)) {
                case LoginOutcome::kVersionNotSupported: ReportAlert(run, kTextVersion); break;
                case LoginOutcome::kNotAccepted: ReportAlert(run, kTextNotAccepted); break;
                case LoginOutcome::kInvalidReply: ReportAlert(run, kTextInvalidReply); break;
                case LoginOutcome::kAccepted:
                    ReportStatus(run, kTextConnected);
                    run.PostSurely(WM_LINK_RECORDING, 0, 0);
                    ConnectLoop(run, socket);
                    break;
            }
        }
        ReportStatus(run, kTextDisconnecting);
    }
    run.PostSurely(WM_LINK_ENDED, 0, 0);
    // The socket closes and Windows Sockets shuts down as `socket` goes.
}

void QDXConnect::ConnectLoop(Run& run, LIPSocket& socket) {
    const LSignalObject& stop = run.signals.Stop();
    const SOCKET s = socket.hSocket.Get();
    SendRecordRequest(stop, s, run.szRecordData);

    DWORD lastData = ::GetTickCount();
    LevelRateLimit limit(lastData);  // core/levelrate.h: which levels reach the window
    signed char level = 0;
    auto post = [&run](signed char value) {
        run.signals.Post(run.hWndNotify, WM_LINK_LEVEL, static_cast<WPARAM>(static_cast<INT_PTR>(value)), 0);
    };
    auto broken = [&] {
        if (limit.Held(level)) post(level);
        ReportAlert(run, kTextBroken);
    };
    while (!stop.IsSet()) {
        const DWORD now = ::GetTickCount();
        if (limit.TakeHeld(now, level)) post(level);
        const int silenceLeft = kLevelBudgetMs - static_cast<int>(now - lastData);
        if (silenceLeft <= 0) return broken();
        signed char levels[kLevelReadSize];
        int received = 0;
        const int code = ReadLevels(stop, s, limit.WaitMs(now, silenceLeft), levels, received);
        if (code == kLinkQuiet) continue;
        if (code == kLinkAborted) return;  // the user's stop, not a broken link
        if (code != kLinkDone) return broken();
        lastData = ::GetTickCount();
        const std::size_t n = static_cast<std::size_t>(received);
        if (run.hWndNotify)
            for (std::size_t i = limit.Admit(lastData, levels, n); i < n; ++i) post(levels[i]);
        if (received == static_cast<int>(sizeof levels)) ::WaitForSingleObject(stop.Get(), kFloodPauseMs);
    }
}
