// The about box: the product picture with its text band, an OK button and a
// button to the product's web page, laid out around the picture's size.
#pragma once

#include "ui/ldialog.h"
#include "ui/splash.h"

class LAboutBox : public LDialog {
public:
    ~LAboutBox() override = default;
    void InitDialog() override;
    void EvCommand(WORD id, WORD code) override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static constexpr UINT kRelayoutMessage = WM_APP + 1;  // wParam: the new DPI

    // Places the picture, the buttons and the window's size for a DPI.
    void Layout(UINT dpi);

    LSplashAboutBase painter;  // outlives the panel, which the dialog destroys
};
