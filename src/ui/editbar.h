// A multiline edit control's vertical scroll bar, kept by the program.
//
// An edit control that keeps its own scroll bar sets the bar's state, with a
// redraw, twice or more for every row added at its end; under Wine each of
// those redraws costs more than laying out and painting the row. Here the
// bar is a scroll bar control inside the edit control, at its right edge,
// where the edit control's own would be, and the text is laid out beside
// it. Its state is set without a redraw once a change to the text, its
// layout or its scrolling is done (before the text is painted), and it is
// drawn again only when what it shows changes (its thumb moved, or it was
// enabled or disabled): a view scrolled to its end that gains a row looks
// the same.
#pragma once

#include <windows.h>

// Gives `edit` (made with ES_MULTILINE and WS_CLIPCHILDREN, without
// WS_VSCROLL) its bar, sized for the edit's DPI, following its size and font
// from now on. The bar scrolls the text as the edit control's own bar would:
// arrows by a line, the track by a page, the thumb to the line it is dragged
// to. It goes with the edit control. False, and no bar, when it could not be
// made.
bool AttachEditScrollBar(HWND edit);
