// One-line text prompt: caption and label from the caller, the text buffer
// pre-filled and handed back on OK.
#pragma once

#include "core/text.h"
#include "ui/ldialog.h"

constexpr char kTextEditTemplate[] = "LTextEditDlg";

class LTextEditDlg : public LDialog {
public:
    // text: caller's buffer, the initial text and, after OK, the entry.
    LTextEditDlg(char (&text)[qdx::kTextSize], const char* label) noexcept : text_(text), label_(label) {}

    void InitDialog() override;
    bool CmOk() override;

private:
    char (&text_)[qdx::kTextSize];
    const char* label_;
};
