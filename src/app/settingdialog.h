// The settings dialog: server, record channel, user name, password and the
// two switches (prompt for data, system-wide hot keys). Reads every value
// when it opens and writes all of them on OK, as typed.
#pragma once

#include "ui/ldialog.h"

class SettingDialog : public LDialog {
public:
    ~SettingDialog() override = default;
    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;
};
