#include "app/settingdialog.h"

#include "app/help.h"
#include "app/maindialog.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

constexpr int kChannelCount = 32;
constexpr DWORD kSettingsHelpContext = 110;

}  // namespace

void SettingDialog::InitDialog() {
    char text[qdx::kTextSize];
    ReadSetting(kSectionSettings, kSettingServer, kDefaultServerInDialog, text);
    ::SetDlgItemTextA(hwnd, IDC_SETTINGS_SERVER, text);

    HWND channels = ::GetDlgItem(hwnd, IDC_SETTINGS_CHANNEL);
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        char number[12];
        qdx::FormatText(number, sizeof number, "%d", channel);
        ::SendMessageA(channels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));
    }
    // The store keeps the list index; one outside the list selects nothing.
    const int index = ReadSettingInt(kSectionSettings, kSettingRecordChannel, kDefaultRecordChannel);
    ::SendMessageA(channels, CB_SETCURSEL, (index >= 0 && index < kChannelCount) ? index : -1, 0);

    ReadSetting(kSectionSettings, kSettingUserName, kDefaultUserName, text);
    ::SetDlgItemTextA(hwnd, IDC_SETTINGS_USER, text);
    ReadSetting(kSectionSettings, kSettingPassword, kDefaultPassword, text);
    ::SetDlgItemTextA(hwnd, IDC_SETTINGS_PASSWORD, text);

    ::CheckDlgButton(hwnd, IDC_SETTINGS_PROMPT,
                     ReadSettingBool(kSectionSettings, kSettingPromptForData, kDefaultPromptForData) ? BST_CHECKED
                                                                                                   : BST_UNCHECKED);
    ::CheckDlgButton(hwnd, IDC_SETTINGS_HOTKEYS,
                     ReadSettingBool(kSectionSettings, kSettingUseHotKeys, kDefaultUseHotKeys) ? BST_CHECKED
                                                                                             : BST_UNCHECKED);
}

bool SettingDialog::CmOk() {
    char text[qdx::kTextSize];
    GetControlText(IDC_SETTINGS_SERVER, text);
    WriteSetting(kSectionSettings, kSettingServer, text);
    // No selection gives -1, which the worker reads as the first channel.
    const int index = static_cast<int>(::SendDlgItemMessageA(hwnd, IDC_SETTINGS_CHANNEL, CB_GETCURSEL, 0, 0));
    WriteSettingInt(kSectionSettings, kSettingRecordChannel, index);
    GetControlText(IDC_SETTINGS_USER, text);
    WriteSetting(kSectionSettings, kSettingUserName, text);
    GetControlText(IDC_SETTINGS_PASSWORD, text);
    WriteSetting(kSectionSettings, kSettingPassword, text);
    WriteSettingBool(kSectionSettings, kSettingPromptForData,
                     ::IsDlgButtonChecked(hwnd, IDC_SETTINGS_PROMPT) == BST_CHECKED);
    WriteSettingBool(kSectionSettings, kSettingUseHotKeys,
                     ::IsDlgButtonChecked(hwnd, IDC_SETTINGS_HOTKEYS) == BST_CHECKED);
    return true;
}

void SettingDialog::CmHelp() {
    DisplayHelpContents(hwnd, kSettingsHelpContext);
}

// The hot keys are let go while the dialog is open and taken again by the
// setting as the dialog leaves it, so a changed switch applies at once.
void MainDialog::CmSettings() {
    HotKeyStop();
    SettingDialog dialog;
    dialog.Open(hwnd, MAKEINTRESOURCEA(IDD_SETTINGS));
    // The main window may have been closed meanwhile (a WM_CLOSE from another
    // process): keys registered now would belong to no window.
    if (!hwnd) return;
    HotKeyStart();
}
