#include "app/textedit.h"

#include "res/resource.h"

void LTextEditDlg::InitDialog() {
    ::SetWindowTextA(hwnd, label_);
    ::SetDlgItemTextA(hwnd, IDC_TEXTEDIT_LABEL, label_);
    ::SetDlgItemTextA(hwnd, IDC_TEXTEDIT_TEXT, text_);
    // All selected, so typing replaces the previous entry.
    ::SendDlgItemMessageA(hwnd, IDC_TEXTEDIT_TEXT, EM_SETSEL, 0, -1);
}

bool LTextEditDlg::CmOk() {
    GetControlText(IDC_TEXTEDIT_TEXT, text_);
    return true;
}
