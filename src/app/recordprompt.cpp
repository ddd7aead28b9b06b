// Starting a record run, with the record data prompt when it is switched on.
#include "app/maindialog.h"
#include "app/textedit.h"
#include "settings/settings.h"

void MainDialog::CmRecord() {
    // A run is already in progress, or the prompt for one is up: a record
    // command that reaches the window through the prompt's loop (a hot key,
    // the tray menu) must not open a second prompt.
    if (recording || prompting) return;
    char data[qdx::kTextSize] = "";
    if (ReadSettingBool(kSectionSettings, kSettingPromptForData, kDefaultPromptForData)) {
        CmOpen();
        char label[qdx::kTextSize];
        ReadSetting(kSectionSettings, kSettingPrompt, kDefaultPrompt, label);
        ReadSetting(kSectionSettings, kSettingPromptPrevious, kDefaultPromptPrevious, data);
        LTextEditDlg prompt(data, label);
        prompting = 1;
        const bool entered = prompt.Open(hwnd, kTextEditTemplate);
        prompting = 0;
        if (!entered) return;
        // The main window may have been closed while the prompt was up (a
        // WM_CLOSE from another process); then there is nobody to report to.
        if (!hwnd) return;
        WriteSetting(kSectionSettings, kSettingPromptPrevious, data);
    }
    worker.RecordStart(hwnd, data);
}
