// The dialog base classes driven through real dialog windows made from the
// record prompt's template: closing paths, dispatch order, key translation
// and the control helpers.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "desktop.h"
#include "res/resource.h"
#include "ui/ldialog.h"

namespace {

const char kTemplate[] = "LTextEditDlg";

// Records every virtual call; a script given by the test runs after InitDialog.
template <typename Base>
class Probe : public Base {
public:
    std::string calls;
    int destroyed = 0;
    bool okResult = true;
    std::function<void(Probe&)> onInit;
    std::function<bool(unsigned)> onKeyDown;

    HWND Hwnd() const { return this->hwnd; }

    void InitDialog() override {
        calls += "Init ";
        if (onInit) onInit(*this);
    }
    bool CmOk() override {
        calls += "Ok ";
        return okResult;
    }
    bool CmCancel() override {
        calls += "Cancel ";
        return true;
    }
    void CmHelp() override { calls += "Help "; }
    void EnableControls() override {
        if (!skipEnable) calls += "Enable ";
        skipEnable = false;
    }
    bool skipEnable = false;
    void EvCommand(WORD id, WORD code) override {
        // The edit control's focus notices depend on how the window manager
        // hands out the focus; they are not what these tests look at.
        if (code == EN_SETFOCUS || code == EN_KILLFOCUS) {
            skipEnable = true;
            return;
        }
        char text[40];
        wsprintfA(text, "Ev(%u,%x) ", id, code);
        calls += text;
    }
    void DestroyDialog() override {
        calls += "Destroy ";
        ++destroyed;
    }
};

struct KeyProbe : Probe<LKeyDialog> {
    std::string keys;
    bool EvKeyDown(unsigned key) override {
        char text[24];
        wsprintfA(text, "down %x ", key);
        keys += text;
        return onKeyDown ? onKeyDown(key) : false;
    }
    bool EvKeyUp(unsigned key) override {
        char text[24];
        wsprintfA(text, "up %x ", key);
        keys += text;
        return false;
    }
};

void PostKey(HWND target, UINT message, WPARAM key, bool repeat = false) {
    LPARAM lParam = 1 | (repeat ? (1L << 30) : 0);
    if (message == WM_KEYUP) lParam |= (1L << 30) | (1L << 31);
    PostMessageA(target, message, key, lParam);
}

}  // namespace

TEST(DialogModal, EnterAndEscapeCloseAndDestroyDialogRunsOnce) {
    const struct {
        WPARAM key;
        bool opened;
        const char* calls;
    } cases[] = {
        {VK_RETURN, true, "Init Enable Ok Destroy "},
        {VK_ESCAPE, false, "Init Enable Cancel Destroy "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls);
        Probe<LDialog> dialog;
        dialog.onInit = [&](auto& d) { PostKey(GetDlgItem(d.Hwnd(), IDC_TEXTEDIT_TEXT), WM_KEYDOWN, c.key); };
        EXPECT_EQ(dialog.Open(nullptr, kTemplate), c.opened);
        EXPECT_EQ(dialog.calls, c.calls);
        EXPECT_EQ(dialog.destroyed, 1);
        EXPECT_EQ(dialog.Hwnd(), nullptr);
    }
}

TEST(DialogModal, OkThatRefusesKeepsTheDialogOpen) {
    Probe<LDialog> dialog;
    dialog.okResult = false;
    dialog.onInit = [](auto& d) {
        PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0);
        PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_FALSE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(dialog.calls, "Init Enable Ok Cancel Destroy ");
}

TEST(DialogModal, CommandsReachEvCommandThenEnableControlsAndHelpHasTwoWays) {
    Probe<LDialog> dialog;
    dialog.onInit = [](auto& d) {
        HWND edit = GetDlgItem(d.Hwnd(), IDC_TEXTEDIT_TEXT);
        PostMessageA(d.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_TEXTEDIT_TEXT, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
        PostMessageA(d.Hwnd(), WM_COMMAND, MAKEWPARAM(IDHELP, BN_CLICKED), 0);
        static HELPINFO help;
        help.cbSize = sizeof help;
        SendMessageA(d.Hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        PostMessageA(d.Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    EXPECT_FALSE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(dialog.calls, "Init Help Enable Ev(100,300) Enable Help Cancel Destroy ");
}

TEST(DialogModal, OpenWhileOpenIsRefused) {
    Probe<LDialog> dialog;
    bool second = true;
    dialog.onInit = [&second](auto& d) {
        second = d.Open(nullptr, kTemplate);
        PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0);
    };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    EXPECT_FALSE(second);
    EXPECT_EQ(dialog.destroyed, 1);
    // Closed again: the object may be opened once more.
    dialog.onInit = [](auto& d) { PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0); };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(dialog.destroyed, 2);
}

TEST(DialogModal, MissingTemplateGivesFalse) {
    Probe<LDialog> dialog;
    EXPECT_FALSE(dialog.Open(nullptr, "NoSuchTemplate"));
    EXPECT_EQ(dialog.calls, "");
}

TEST(DialogModeless, CloseDestroysTheWindowAndReEnablesTheParent) {
    qdx::UniqueWindow parentOwner = qdxtest::ShowParentWindow("parent", 100, 100);
    HWND parent = parentOwner.Get();
    ASSERT_NE(parent, nullptr);
    KeyProbe dialog;
    HWND window = nullptr;
    bool parentDisabledWhileOpen = false;
    bool second = true;
    dialog.onInit = [&](auto& d) {
        window = d.Hwnd();
        second = dialog.Open(nullptr, kTemplate);
        PostKey(window, WM_KEYDOWN, 'Q');
    };
    dialog.onKeyDown = [&](unsigned) {
        parentDisabledWhileOpen = !IsWindowEnabled(parent);
        dialog.Close(5);
        return true;
    };
    EXPECT_TRUE(dialog.Open(parent, kTemplate));
    EXPECT_FALSE(second);
    EXPECT_TRUE(parentDisabledWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(parent));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.destroyed, 1);
    EXPECT_EQ(dialog.Hwnd(), nullptr);
}

TEST(DialogModeless, DestroyWindowFromOutsideEndsTheLoopOnce) {
    KeyProbe dialog;
    dialog.onInit = [](auto& d) { PostKey(d.Hwnd(), WM_KEYDOWN, 'Q'); };
    dialog.onKeyDown = [&](unsigned) {
        DestroyWindow(dialog.Hwnd());
        return true;
    };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(dialog.destroyed, 1);
}

TEST(DialogModeless, EndSessionOnlyActsWhenTheSessionEnds) {
    KeyProbe dialog;
    LRESULT cancelled = 0, ended = 0;
    std::string callsAfterCancelled;
    HWND window = nullptr;
    dialog.onInit = [&](auto& d) {
        window = d.Hwnd();
        PostKey(window, WM_KEYDOWN, 'Q');
    };
    dialog.onKeyDown = [&](unsigned) {
        // The dialog procedure's own answer (SendMessage would report DWLP_MSGRESULT).
        cancelled = dialog.DialogProc(WM_ENDSESSION, 0, 0);
        callsAfterCancelled = dialog.calls;
        ended = dialog.DialogProc(WM_ENDSESSION, 1, 0);
        return true;
    };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(cancelled, TRUE);
    EXPECT_EQ(callsAfterCancelled, "Init Enable ");
    EXPECT_EQ(ended, TRUE);
    EXPECT_EQ(dialog.destroyed, 1);  // and not again when Open removed the window
    EXPECT_FALSE(IsWindow(window));
}

TEST(DialogModeless, KeyTranslatorSkipsRepeatsAndReportsReleases) {
    KeyProbe dialog;
    dialog.onInit = [](auto& d) {
        HWND edit = GetDlgItem(d.Hwnd(), IDC_TEXTEDIT_TEXT);
        PostKey(edit, WM_KEYDOWN, VK_F5);
        PostKey(edit, WM_KEYDOWN, VK_F5, true);
        PostKey(edit, WM_KEYDOWN, VK_F5, true);
        PostKey(edit, WM_KEYUP, VK_F5);
        PostKey(edit, WM_SYSKEYDOWN, VK_F10);
        PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    EXPECT_EQ(dialog.keys, "down 74 up 74 down 79 ");
}

namespace {
struct Typist {
    HWND window = nullptr;
    char editText[64] = "";
};

DWORD WINAPI TypeKeys(void* p) {
    Typist* t = static_cast<Typist*>(p);
    Sleep(300);
    const struct {
        WORD key;
        bool up;
    } keys[] = {{VK_CONTROL, false}, {VK_F5, false}, {VK_F5, true},  {VK_CONTROL, true}, {VK_SHIFT, false},
                {VK_F8, false},      {VK_F8, true},  {VK_SHIFT, true}, {'A', false},      {'A', true},
                {'B', false},        {'B', true}};
    for (const auto& k : keys) qdxtest::SendKey(k.key, k.up);
    Sleep(500);
    GetDlgItemTextA(t->window, IDC_TEXTEDIT_TEXT, t->editText, sizeof t->editText);
    PostMessageA(t->window, WM_COMMAND, IDCANCEL, 0);
    return 0;
}
}  // namespace

TEST(DialogModeless, ModifiersComeFromRealKeyStateAndHandledKeysAreConsumed) {
    KeyProbe dialog;
    Typist typist;
    HANDLE thread = nullptr;
    dialog.onInit = [&](auto& d) {
        typist.window = d.Hwnd();
        SetForegroundWindow(d.Hwnd());
        SetFocus(GetDlgItem(d.Hwnd(), IDC_TEXTEDIT_TEXT));
        thread = CreateThread(nullptr, 0, TypeKeys, &typist, 0, nullptr);
    };
    // 'A' is handled, so the edit control never sees it; 'B' is not.
    dialog.onKeyDown = [](unsigned key) { return key == 'A'; };
    EXPECT_TRUE(dialog.Open(nullptr, kTemplate));
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    const std::string& k = dialog.keys;
    EXPECT_NE(k.find("down 20074 "), std::string::npos) << k;  // Ctrl+F5: not the bare F5
    EXPECT_NE(k.find("down 40077 "), std::string::npos) << k;  // Shift+F8
    EXPECT_NE(k.find("up 74 "), std::string::npos) << k;       // releases come bare
    EXPECT_NE(k.find("down 41 "), std::string::npos) << k;
    EXPECT_NE(k.find("down 42 "), std::string::npos) << k;
    EXPECT_STREQ(typist.editText, "b");
}
