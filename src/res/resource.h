// Resource and control ids, grouped by dialog. Plain #defines: the resource
// compiler reads this file too.
#pragma once

// Artwork (tools/artgen makes the images; art.rc names them).
#define IDI_LAMP_ORANGE 1  // window icon; Record button under the mouse; tray when idle
#define IDI_LAMP_GREY 3    // Record button when idle
#define IDI_LAMP_RED 4     // Record button and tray while recording
#define IDB_ABOUT 1        // the about picture

// Main window: dialog template 1, menu 1.
#define IDD_MAIN 1
#define IDM_MAIN 1
#define IDC_MAIN_RECORD 101
#define IDC_MAIN_LEVEL 103
#define IDC_MAIN_RECORD_LABEL 105
#define IDC_MAIN_LOG 108
#define IDC_MAIN_STATUS 109
// Commands of menu 1 and of the tray menu.
#define CM_HELP_CONTENTS 9  // IDHELP: the base dispatches it to CmHelp
#define CM_ABOUT 903
#define CM_WEB_PRODUCT_HOME 911
#define CM_WEB_SOFTWARE 913
#define CM_WEB_PRODUCT_FIRST 914  // 914..921: the maker's other products
#define CM_WEB_PRODUCT_LAST 921
#define CM_WEB_MAKER_HOME 922
#define CM_SETTINGS 1001
#define CM_CLOSE_TO_TRAY 1002
#define CM_EXIT 1003
#define CM_OPEN 1097
#define CM_RECORD 2001
#define CM_STOP 2002
// Positions in menu 1 of the popup that the status bar offers.
#define MENU_MAIN_HELP_POS 2
#define MENU_HELP_INTERNET_POS 1

// Tray menu: menu 3, one popup.
#define IDM_TRAY 3

// Settings dialog: template 2.
#define IDD_SETTINGS 2
#define IDC_SETTINGS_SERVER 101
#define IDC_SETTINGS_PASSWORD 102
#define IDC_SETTINGS_PROMPT 103
#define IDC_SETTINGS_CHANNEL 104
#define IDC_SETTINGS_USER 105
#define IDC_SETTINGS_HOTKEYS 106

// Record prompt: template "LTextEditDlg".
#define IDC_TEXTEDIT_TEXT 100
#define IDC_TEXTEDIT_LABEL 101

// About box: template "LAbout".
#define IDC_ABOUT_WEB 101
#define IDC_ABOUT_PICTURE 999

// Licence terms page: template "LicenceTermsDlg".
#define IDC_LICENCE_AGREE 101
#define IDC_LICENCE_DISAGREE 102

// Progress window: template "LProgressDialog".
#define IDC_PROGRESS_LINE0 100
#define IDC_PROGRESS_LINE1 101
#define IDC_PROGRESS_BAR 102
#define IDC_PROGRESS_LAMP 103
