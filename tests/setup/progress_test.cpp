// The progress window as the setup jobs use it: text lines, the bar, the pump
// that runs the window between pieces of work, and Cancel.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "res/resource.h"
#include "ui/progress.h"

namespace {

class Job : public LProgressDialog {
public:
    explicit Job(std::function<bool(Job&)> body) : LProgressDialog("Progress test"), body_(std::move(body)) {}
    bool MainFunction() override { return body_(*this); }

private:
    std::function<bool(Job&)> body_;
};

std::string Text(HWND window, int id) {
    char text[256] = "";
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

int BarPosition(HWND window) {
    return static_cast<int>(SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
}

TEST(ProgressDialog, JobUpdatesTheWindowUntilCancelled) {
    HWND seen = nullptr;
    Job job([&](Job& j) {
        seen = j.Window();
        char caption[64] = "";
        GetWindowTextA(seen, caption, sizeof caption);
        EXPECT_STREQ(caption, "Progress test");
        EXPECT_EQ(BarPosition(seen), 0);
        j.SetProgress(0.999);
        EXPECT_EQ(BarPosition(seen), 99);  // truncated, not rounded
        j.SetProgress(1.0);
        EXPECT_EQ(BarPosition(seen), 100);
        j.SetText("first", 0);
        j.SetText("second", 1);
        j.SetText("third", 2);  // no such line
        EXPECT_EQ(Text(seen, IDC_PROGRESS_LINE0), "first");
        EXPECT_EQ(Text(seen, IDC_PROGRESS_LINE1), "second");

        // Enter (command 1) is not Cancel: the window stays.
        PostMessageA(seen, WM_COMMAND, IDOK, 0);
        EXPECT_FALSE(j.PumpMessages());
        EXPECT_TRUE(IsWindow(seen));
        // Cancel takes effect at the next pump, which answers that the window is gone.
        PostMessageA(seen, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(j.PumpMessages());
        EXPECT_EQ(j.Window(), nullptr);
        EXPECT_FALSE(IsWindow(seen));
        j.SetText("late", 0);  // ignored
        j.SetProgress(0.5);
        return false;
    });
    EXPECT_TRUE(job.PumpMessages());  // never opened
    EXPECT_FALSE(job.Run(nullptr));
    ASSERT_NE(seen, nullptr);
}

TEST(ProgressDialog, RunReturnsTheJobResultAndDestroysTheWindow) {
    HWND seen = nullptr;
    Job job([&](Job& j) {
        seen = j.Window();
        EXPECT_FALSE(j.Run(nullptr));  // already open: refused, no second window
        return true;
    });
    EXPECT_TRUE(job.Run(nullptr));
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(job.Window(), nullptr);
}

}  // namespace
