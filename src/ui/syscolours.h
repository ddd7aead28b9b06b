// The system's side of the colour choice: whether high contrast is on, and
// the system's colours of the moment.
#pragma once

#include <windows.h>

#include "core/contrast.h"

bool HighContrastOn();
contrast::SystemColours ReadSystemColours();
// The scheme to draw with now.
inline contrast::Scheme SystemScheme() { return contrast::ChooseScheme(HighContrastOn(), ReadSystemColours()); }
