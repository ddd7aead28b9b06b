// Activity log: the file of the day and the log view.
#include "log/activitylog.h"

#include <cstring>
#include <utility>

#include "core/lfile.h"
#include "core/logformat.h"
#include "log/logclock.h"
#include "settings/datafolder.h"
#include "settings/settings.h"
#include "ui/dpi.h"

namespace {

constexpr UINT kViewTimeoutMillis = 100;  // a view that does not answer is given up on per message

bool SystemLocalTime(SYSTEMTIME* out) {
    ::GetLocalTime(out);
    return true;
}
DWORD SystemTick() {
    return ::GetTickCount();
}

LogTickSource tickSource = SystemTick;
LogLocalTimeSource localTimeSource = SystemLocalTime;

void InvalidateView() {
    // Without a view there is nothing to repaint (a null window would mean
    // every window of the desktop).
    if (LogView.view) ::InvalidateRect(LogView.view, nullptr, TRUE);
}

void SendToView(UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(LogView.view, message, wParam, lParam, SMTO_BLOCK, kViewTimeoutMillis, &result);
}

// Appends the line to the file of the day in the Logs folder, opening and
// closing it for this one line so other programs can read it meanwhile.
void AppendToLogFile(const LogTime& now, const char* line) {
    char fileName[qdx::kTextSize];
    FormatLogFileName(now, fileName);
    char szLogFilePath[qdx::kTextSize];
    GetDataFolder(kFolderLogs, szLogFilePath);
    LFile::FilePathCat(szLogFilePath, fileName);
    // A folder so long that the name got cut would give a wrong file name:
    // such a line goes to the view only.
    std::size_t pathLength = std::strlen(szLogFilePath);
    std::size_t nameLength = std::strlen(fileName);
    if (pathLength < nameLength || std::strcmp(szLogFilePath + pathLength - nameLength, fileName) != 0) return;

    qdx::UniqueFile file(::CreateFileA(szLogFilePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    ::SetFilePointer(file.Get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(file.Get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

}  // namespace

LogViewRecord LogView;

LogViewRecord::LogViewRecord()
    : normalBrush(::CreateSolidBrush(kLogNormalBack)),
      alertBrush(::CreateSolidBrush(kLogAlertBack)),
      font(::CreateFontA(kLogFontPixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, nullptr)) {}

void SetLogClock(LogTickSource tick, LogLocalTimeSource localTime) noexcept {
    tickSource = tick ? tick : SystemTick;
    localTimeSource = localTime ? localTime : SystemLocalTime;
}

void WriteLogLine(const char* text) {
    SYSTEMTIME system;
    if (!localTimeSource(&system)) return;  // no time, no line: neither file nor view
    const LogTime now{system.wYear, system.wMonth, system.wDay, system.wHour, system.wMinute, system.wSecond};
    char line[kLogLineSize];
    FormatLogLine(now, text, line);
    AppendToLogFile(now, line);
    AppendLogView(line);
}

void AppendLogView(const char* text) {
    if (LogView.alert && LogAlertExpired(LogView.alertTick, tickSource())) {
        LogView.alert = false;
        InvalidateView();
    }
    if (!text) text = "";
    const unsigned before = LogView.tail.Length();
    LogView.tail.Append(text);
    if (!LogView.view) return;
    // The view holds what the tail held: what the tail cut goes from the
    // control's front and the line goes on at its end, so the control lays
    // out only what changed. A view that holds anything else is given the
    // whole tail.
    const unsigned added = static_cast<unsigned>(std::strlen(text));
    const unsigned cut = before + added - LogView.tail.Length();
    DWORD_PTR shown = 0;
    if (cut <= before &&
        ::SendMessageTimeoutA(LogView.view, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, kViewTimeoutMillis, &shown) &&
        shown == before) {
        if (cut > 0) {
            SendToView(EM_SETSEL, 0, static_cast<LPARAM>(cut));
            SendToView(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        }
        // A line that ends with a line break, after text that ends with one,
        // goes in before that last break with the break in front of it: the
        // same text, and the caret ends where it belongs, before the last
        // break, so the control scrolls once and only as far as it must.
        const unsigned end = before - cut;
        const char* tail = LogView.tail.Text();
        if (end >= 2 && added >= 2 && std::strcmp(text + added - 2, "\r\n") == 0 &&
            tail[end - 2] == '\r' && tail[end - 1] == '\n') {
            char moved[kLogLineSize + 2] = "\r\n";
            if (added - 2 < sizeof moved - 2) {
                std::memcpy(moved + 2, text, added - 2);
                moved[added] = '\0';
                SendToView(EM_SETSEL, end - 2, static_cast<LPARAM>(end - 2));
                SendToView(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(moved));
                SendToView(EM_SCROLLCARET, 0, 0);
                return;
            }
        }
        SendToView(EM_SETSEL, end, static_cast<LPARAM>(end));
        SendToView(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    } else {
        SendToView(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(LogView.tail.Text()));
    }
    WPARAM caret = LogView.tail.CaretPosition();
    SendToView(EM_SETSEL, caret, static_cast<LPARAM>(caret));
    SendToView(EM_SCROLLCARET, 0, 0);
}

void RaiseLogAlert() {
    LogView.alertTick = tickSource();
    if (!LogView.alert) {
        LogView.alert = true;
        InvalidateView();
    }
}

void SetLogViewColours(const contrast::LogColours& colours) {
    if (colours == LogView.colours) return;
    qdx::UniqueBrush normal(::CreateSolidBrush(colours.normalBack));
    qdx::UniqueBrush alert(::CreateSolidBrush(colours.alertBack));
    if (!normal || !alert) return;  // the colours in use stay, with their brushes
    LogView.normalBrush = std::move(normal);
    LogView.alertBrush = std::move(alert);
    LogView.colours = colours;
    InvalidateView();
}

HBRUSH ApplyLogViewColours(HDC dc) {
    ::SetBkMode(dc, OPAQUE);
    const contrast::LogColours& c = LogView.colours;
    if (LogView.alert) {
        ::SetBkColor(dc, c.alertBack);
        ::SetTextColor(dc, c.alertText);
        return LogView.alertBrush.Get();
    }
    ::SetBkColor(dc, c.normalBack);
    ::SetTextColor(dc, c.normalText);
    return LogView.normalBrush.Get();
}

void SetLogViewFont(UINT dpi) {
    qdx::UniqueFont font(::CreateFontA(ScaleForDpi(kLogFontPixels, dpi), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0,
                                       nullptr));
    if (!font) return;
    // The view lets go of the old font before it is deleted.
    if (LogView.view) ::SendMessageA(LogView.view, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    LogView.font = std::move(font);
}
