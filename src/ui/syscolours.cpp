#include "ui/syscolours.h"

bool HighContrastOn() {
    HIGHCONTRASTA settings = {};
    settings.cbSize = sizeof settings;
    return ::SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof settings, &settings, 0) &&
           (settings.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

contrast::SystemColours ReadSystemColours() {
    return {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT), ::GetSysColor(COLOR_HIGHLIGHT),
            ::GetSysColor(COLOR_HIGHLIGHTTEXT), ::GetSysColor(COLOR_BTNFACE)};
}
