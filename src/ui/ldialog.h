// Dialog base classes: an object bound to a dialog window made from a
// template, with the window messages that matter turned into virtual calls.
//   LDialog         modal (the platform's own loop)
//   LKeyDialog      modeless, with a message loop of its own and key events
//   LPlayerBaseDlg  a modeless window that Enter never closes
#pragma once

#include <windows.h>

#include "common/handles.h"
#include "core/text.h"

// Modifier flags added to the virtual-key code handed to EvKeyDown.
constexpr unsigned MODIFIER_ALT = 0x10000;
constexpr unsigned MODIFIER_CTRL = 0x20000;
constexpr unsigned MODIFIER_SHIFT = 0x40000;

class LDialog {
public:
    LDialog() noexcept = default;
    // Never destroys a window: the window must be gone before the object is.
    virtual ~LDialog() = default;
    LDialog(const LDialog&) = delete;
    LDialog& operator=(const LDialog&) = delete;

    // The virtual operations, in the framework's fixed order.
    virtual void InitDialog() {}
    virtual bool CmOk() { return true; }      // true: close with 1
    virtual bool CmCancel() { return true; }  // true: close with 2
    virtual void CmHelp() {}
    virtual void EnableControls() {}
    virtual void EvCommand(WORD id, WORD code);
    virtual void DestroyDialog() {}
    virtual void Close(int result);  // ends the modal dialog
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Modal run from a template (resource name or MAKEINTRESOURCE id). False when
    // the object is already open, the template cannot be loaded, or the dialog
    // ended with anything but 1.
    bool Open(HWND parent, LPCSTR templateName);

    HWND Window() const noexcept { return hwnd; }

    // Control helpers; all act on a control of the open dialog by its id.
    void EnableControl(int id, unsigned char flag);
    void MoveControl(int id, int x, int y, int width, int height);
    // Copies at most 259 characters and the terminator; returns the count.
    unsigned GetControlText(int id, char (&buffer)[qdx::kTextSize]);
    int DialogUnitsToPixels(int size);
    // Shows an icon resource on a BS_ICON button; the button keeps one icon.
    void SetButtonIcon(int id, int iconId);

    // The one dialog procedure of every LDialog window.
    static INT_PTR CALLBACK CommonDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

protected:
    HWND hwnd = nullptr;  // the dialog window while open, else null
};

class LKeyDialog : public LDialog {
public:
    void Close(int result) override;  // destroys the modeless window
    virtual bool EvKeyDown(unsigned key) { (void)key; return false; }  // key: code | modifier flags
    virtual bool EvKeyUp(unsigned key) { (void)key; return false; }    // key: bare code
    virtual bool ProcessKeyMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Modeless run: creates the dialog and runs the thread's messages until the
    // window is gone. False when already open or when the dialog cannot be made.
    bool Open(HWND parent, LPCSTR templateName);
};

class LPlayerBaseDlg : public LKeyDialog {
public:
    bool CmOk() override { return false; }

    // Adds a tip for a control; the first call creates the tooltip window and
    // hands it to tooltip, which destroys it.
    void AddTool(qdx::UniqueWindow& tooltip, int id, const char* text);
};
