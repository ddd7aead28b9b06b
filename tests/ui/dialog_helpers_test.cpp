// Control helpers of the dialog classes, on an open record prompt window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/systemdll.h"
#include "res/resource.h"
#include "ui/ldialog.h"

namespace {

// Runs checks inside an open dialog, then closes it.
class Host : public LPlayerBaseDlg {
public:
    explicit Host(std::function<void(Host&)> checks) : checks_(std::move(checks)) {}
    HWND Hwnd() const { return hwnd; }
    void InitDialog() override {
        checks_(*this);
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    bool CmCancel() override {
        Close(IDCANCEL);
        return false;
    }

private:
    std::function<void(Host&)> checks_;
};

void RunInDialog(std::function<void(Host&)> checks) {
    Host host(std::move(checks));
    ASSERT_TRUE(host.Open(nullptr, "LTextEditDlg"));
}

}  // namespace

TEST(ControlHelpers, GetControlTextCutsAt259AndEmptiesForMissingControls) {
    RunInDialog([](Host& d) {
        char buffer[qdx::kTextSize];
        std::string longText(300, 'x');
        longText[258] = 'y';
        SetDlgItemTextA(d.Hwnd(), IDC_TEXTEDIT_LABEL, longText.c_str());
        EXPECT_EQ(d.GetControlText(IDC_TEXTEDIT_LABEL, buffer), 259u);
        EXPECT_EQ(strlen(buffer), 259u);
        EXPECT_EQ(buffer[258], 'y');

        SetDlgItemTextA(d.Hwnd(), IDC_TEXTEDIT_TEXT, "12-345");
        EXPECT_EQ(d.GetControlText(IDC_TEXTEDIT_TEXT, buffer), 6u);
        EXPECT_STREQ(buffer, "12-345");

        strcpy(buffer, "stale");
        EXPECT_EQ(d.GetControlText(4711, buffer), 0u);
        EXPECT_STREQ(buffer, "");
    });
}

TEST(ControlHelpers, EnableControlTakesAnyNonZeroFlagAndMoveControlPlacesIt) {
    RunInDialog([](Host& d) {
        HWND edit = GetDlgItem(d.Hwnd(), IDC_TEXTEDIT_TEXT);
        d.EnableControl(IDC_TEXTEDIT_TEXT, 0);
        EXPECT_FALSE(IsWindowEnabled(edit));
        d.EnableControl(IDC_TEXTEDIT_TEXT, 2);
        EXPECT_TRUE(IsWindowEnabled(edit));

        d.MoveControl(IDC_TEXTEDIT_TEXT, 7, 9, 70, 20);
        RECT r;
        GetWindowRect(edit, &r);
        MapWindowPoints(nullptr, d.Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 7);
        EXPECT_EQ(r.top, 9);
        EXPECT_EQ(r.right - r.left, 70);
        EXPECT_EQ(r.bottom - r.top, 20);

        // 8-point dialog font: 12 vertical units are more than 12 pixels and
        // agree with the template's edit height.
        EXPECT_GT(d.DialogUnitsToPixels(12), 12);
        EXPECT_EQ(d.DialogUnitsToPixels(0), 0);
    });
}

TEST(ControlHelpers, AddToolMakesOneTooltipWindowForAllTips) {
    qdx::UniqueWindow tooltip;
    RunInDialog([&tooltip](Host& d) {
        d.AddTool(tooltip, IDC_TEXTEDIT_TEXT, "the data");
        ASSERT_NE(tooltip.Get(), nullptr);
        HWND first = tooltip.Get();
        d.AddTool(tooltip, IDOK, "confirm");
        EXPECT_EQ(tooltip.Get(), first);
        EXPECT_EQ(SendMessageA(tooltip.Get(), TTM_GETTOOLCOUNT, 0, 0), 2);
        char cls[32] = "";
        GetClassNameA(tooltip.Get(), cls, sizeof cls);
        EXPECT_STREQ(cls, TOOLTIPS_CLASSA);
        EXPECT_EQ(GetWindow(tooltip.Get(), GW_OWNER), d.Hwnd());
        EXPECT_TRUE(GetWindowLongA(tooltip.Get(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    });
}

TEST(ControlHelpers, SetButtonIconKeepsOneIconAndIgnoresMissingOnes) {
    RunInDialog([](Host& d) {
        HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_ICON | BS_PUSHLIKE | BS_AUTOCHECKBOX,
                                      0, 0, 40, 40, d.Hwnd(), reinterpret_cast<HMENU>(300),
                                      GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(button, nullptr);
        d.SetButtonIcon(300, IDI_LAMP_GREY);
        HICON first = reinterpret_cast<HICON>(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0));
        ASSERT_NE(first, nullptr);
        d.SetButtonIcon(300, IDI_LAMP_RED);
        HICON second = reinterpret_cast<HICON>(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0));
        ASSERT_NE(second, nullptr);
        EXPECT_NE(second, first);
        ICONINFO info;
        EXPECT_FALSE(GetIconInfo(first, &info)) << "the replaced icon must be destroyed";
        EXPECT_TRUE(GetIconInfo(second, &info));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);

        d.SetButtonIcon(300, 4711);  // no such icon: the button keeps its own
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0)), second);
    });
}

// Libraries loaded at first use come from the system folder only: a file of
// the same name beside the program, which a plain search would take, is not.
TEST(SystemFunctions, ComeFromTheSystemFolderOnly) {
    char self[MAX_PATH], dll[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    ASSERT_GT(GetSystemDirectoryA(dll, MAX_PATH), 0u);
    std::string planted(self);
    planted = planted.substr(0, planted.find_last_of('\\') + 1) + "qdxplanted.dll";
    // A real library under a name the system folder does not have.
    ASSERT_TRUE(CopyFileA((std::string(dll) + "\\msimg32.dll").c_str(), planted.c_str(), FALSE));
    HMODULE found = LoadLibraryA("qdxplanted.dll");
    EXPECT_NE(found, nullptr) << "a plain search finds the planted file";
    if (found) FreeLibrary(found);
    EXPECT_EQ(qdx::LoadSystemDll("qdxplanted.dll"), nullptr);
    EXPECT_EQ(qdx::SystemFunction<FARPROC>("qdxplanted.dll", "main"), nullptr);
    EXPECT_NE(qdx::SystemFunction<FARPROC>("shell32.dll", "Shell_NotifyIconA"), nullptr);
    DeleteFileA(planted.c_str());
}
