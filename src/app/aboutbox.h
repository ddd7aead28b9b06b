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

private:
    LSplashAboutBase painter;  // outlives the panel, which the dialog destroys
};
