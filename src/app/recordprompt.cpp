// Starting a record run, with the record data prompt when it is switched on.
#include "app/maindialog.h"
#include "app/textedit.h"
#include "settings/settings.h"

namespace {
constexpr char kPromptDefault[] = "Enter file number";
}

void MainDialog::CmRecord() {
    if (recording) return;  // a run is already in progress
    char data[qdx::kTextSize] = "";
    if (ReadSettingBool(kSectionSettings, kSettingPromptForData, false)) {
        CmOpen();
        char label[qdx::kTextSize];
        ReadSetting(kSectionSettings, kSettingPrompt, kPromptDefault, label);
        ReadSetting(kSectionSettings, kSettingPromptPrevious, "", data);
        LTextEditDlg prompt(data, label);
        if (!prompt.Open(hwnd, kTextEditTemplate)) return;
        // The main window may have been closed while the prompt was up (a
        // WM_CLOSE from another process); then there is nobody to report to.
        if (!hwnd) return;
        WriteSetting(kSectionSettings, kSettingPromptPrevious, data);
    }
    worker.RecordStart(hwnd, data);
}
