// The progress window as WinMain makes it: the class, the hidden dialog, the
// percentages that UpdateProgress writes into the bar, the messages that
// other programs may send, and the bar's pixels on the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "launcher/globals.h"
#include "resources/resource.h"
#include "ui/progress.h"

namespace {

const COLORREF NAVY = RGB(0, 0, 128);
const COLORREF WHITE = RGB(255, 255, 255);

std::string TextOf(HWND window)
{
    char text[64];
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// What the bar is sent: the texts set on it, and how often it is painted.
std::vector<std::string> barTexts;
int barPaints;
WNDPROC barProc;

LRESULT CALLBACK CountingBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        barTexts.push_back(reinterpret_cast<const char *>(lParam));
    if (message == WM_PAINT)
        barPaints++;
    return CallWindowProcA(barProc, window, message, wParam, lParam);
}

class ProgressWindow : public testing::Test {
protected:
    void SetUp() override
    {
        moduleHandle = GetModuleHandleA(NULL);
        faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        whiteBrush = CreateSolidBrush(WHITE);
        navyBrush = CreateSolidBrush(NAVY);
        CreateFramePens();
        CreateProgressWindow(moduleHandle);
        ASSERT_TRUE(IsWindow(progressWindow)) << "no window can be made here";
        shownPercent = 0;
        blocksDone = 0;
        totalBlocks = 0;
        fileStartPercent = 0;
        fileEndPercent = 0;
        sessionEnded = 0;
        barTexts.clear();
        barPaints = 0;
        barProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingBarProc)));
    }
    void TearDown() override
    {
        if (IsWindow(progressWindow))
            DestroyWindow(progressWindow);
        // The quit message that WM_DESTROY posts must not reach the next test.
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        DeleteObject(faceBrush);
        DeleteObject(whiteBrush);
        DeleteObject(navyBrush);
        DeleteFramePens();
    }
};

TEST_F(ProgressWindow, ClassAndDialogAreMadeAsTheLauncherNeedsThem)
{
    // A Unicode class: the window procedure as given, no thunk between.
    WNDCLASSW registered;
    ASSERT_TRUE(GetClassInfoW(moduleHandle, L"Progress", &registered));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), registered.style);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(ProgressWndProc), registered.lpfnWndProc);
    EXPECT_EQ(0, registered.cbClsExtra);
    EXPECT_EQ(30, registered.cbWndExtra);
    EXPECT_EQ(LoadIconA(moduleHandle, MAKEINTRESOURCEA(IDI_PACKAGE)), registered.hIcon);
    EXPECT_NE(static_cast<HICON>(NULL), registered.hIcon);
    EXPECT_EQ(LoadCursorA(NULL, IDC_WAIT), registered.hCursor);
    EXPECT_EQ(faceBrush, registered.hbrBackground);
    EXPECT_EQ(NULL, registered.lpszMenuName);

    ASSERT_TRUE(IsWindow(progressWindow));
    char className[32];
    GetClassNameA(progressWindow, className, sizeof className);
    EXPECT_STREQ("Progress", className);
    EXPECT_TRUE(IsWindowUnicode(progressWindow));
    EXPECT_FALSE(IsWindowVisible(progressWindow));
    EXPECT_EQ(NULL, GetWindow(progressWindow, GW_OWNER));
    // No system menu, so no close box.
    EXPECT_EQ(0, GetWindowLongA(progressWindow, GWL_STYLE) & WS_SYSMENU);
    EXPECT_EQ("Tollivex Self-extracting Exe", TextOf(progressWindow));
    EXPECT_EQ(GetDlgItem(progressWindow, IDC_PROGRESSBAR), progressBar);
    EXPECT_EQ("0", TextOf(progressBar));

    for (int i = 0; i < 4; i++)
        EXPECT_NE(static_cast<HPEN>(NULL), framePens[i]) << i;
    DeleteFramePens();
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(static_cast<HPEN>(NULL), framePens[i]) << i;
    DeleteFramePens();
}

TEST_F(ProgressWindow, IsCentredOnTheScreenTruncatingTowardZero)
{
    RECT r = {};
    GetWindowRect(progressWindow, &r);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, r.top);

    // Five pixels wider and taller than the screen: -2.5 becomes -2, not -3.
    HWND wide = CreateWindowA("Progress", "wide", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN) + 5,
                              GetSystemMetrics(SM_CYSCREEN) + 5, NULL, NULL, moduleHandle, NULL);
    ASSERT_TRUE(wide);
    GetWindowRect(wide, &r);
    EXPECT_EQ(-2, r.left);
    EXPECT_EQ(-2, r.top);
    DestroyWindow(wide);
}

// Driven exactly as the extraction drives it: per block blocksDone + 1 and
// UpdateProgress(0), per file UpdateProgress(100).
std::vector<std::string> Extract(const std::vector<int> &fileBlocks)
{
    std::vector<std::string> shown;
    blocksDone = 0;
    for (int blocks : fileBlocks) {
        fileStartPercent = blocksDone * 100 / totalBlocks;
        fileEndPercent = (blocksDone + blocks) * 100 / totalBlocks;
        for (int b = 0; b < blocks; b++) {
            blocksDone++;
            UpdateProgress(0);
            shown.push_back(TextOf(progressBar));
        }
        UpdateProgress(100);
        shown.push_back(TextOf(progressBar));
    }
    return shown;
}

void ShowAndSettle()
{
    ShowWindow(progressWindow, SW_SHOWNORMAL);
    UpdateWindow(progressWindow);
    UpdateProgress(0);
    barTexts.clear();
    barPaints = 0;
}

TEST_F(ProgressWindow, ShowsAThirdPerFileWhileCopyingAndTheRestWhenDone)
{
    ShowAndSettle();
    totalBlocks = 10;
    std::vector<std::string> expected = {"3", "6", "10", "13", "39", "43", "46", "50", "53", "56", "60", "100"};
    EXPECT_EQ(expected, Extract({4, 6}));
    EXPECT_EQ(100, shownPercent);
    // Every value differs from the one before: each is set and painted once.
    EXPECT_EQ(expected, barTexts);
    EXPECT_GE(barPaints, 12);
}

TEST_F(ProgressWindow, RewritesTheBarOnlyWhenThePercentageChanges)
{
    // The first update that computes 0 finds 0 shown already.
    ShowAndSettle();
    totalBlocks = 10;
    UpdateProgress(0);
    EXPECT_TRUE(barTexts.empty());
    EXPECT_EQ(0, barPaints);
    EXPECT_EQ("0", TextOf(progressBar));

    // One file of 1000 blocks: a third of its share moves in 33 steps while
    // it is copied, and the two thirds after it make 66 + 33 = 99.
    totalBlocks = 1000;
    std::vector<std::string> shown = Extract({1000});
    EXPECT_EQ("0", shown[28]);
    EXPECT_EQ("1", shown[29]);
    EXPECT_EQ("33", shown[999]);
    EXPECT_EQ("99", shown[1000]);
    EXPECT_EQ(34u, barTexts.size());
    EXPECT_GE(barPaints, 34);
}

TEST_F(ProgressWindow, NoBlockCountLeavesOnlyTheFileShare)
{
    // A header with no block count, or an update before any header was read.
    for (int count : {0, -5}) {
        totalBlocks = count;
        blocksDone = 3;
        fileStartPercent = 20;
        fileEndPercent = 50;
        UpdateProgress(0);
        EXPECT_EQ("20", TextOf(progressBar)) << count;
        UpdateProgress(100);
        EXPECT_EQ("40", TextOf(progressBar)) << count;
    }
}

TEST_F(ProgressWindow, AnySenderMayUpdateWithAnyArgumentWithoutOverflow)
{
    struct Case {
        int start, end, done, total;
        WPARAM wParam;
        const char *shown;
    } cases[] = {
        // Divisions truncate toward zero: -140 / 100 is -1, -10 / 3 is -3.
        {10, 40, 1, 10, static_cast<WPARAM>(-7), "9"},
        {10, 40, 0, 10, 0, "7"},
        {10, 40, 5, 10, static_cast<WPARAM>(-150), "-7"},
        // The largest argument still taken as it is.
        {0, 3, 0, 10, 10000000, "200000"},
        {0, 100, 0, 10, 10000000, "6600000"},
        {0, 100, 0, 10, static_cast<WPARAM>(-10000000), "-999999"},
        // Beyond it the argument counts as +-10,000,000.
        {0, 3, 0, 10, 0x7FFFFFFF, "200000"},
        {0, 3, 0, 10, 0x80000000, "-200000"},
        {0, 3, 0, 10, 0xFFFFFFFF, "0"},
        // What 7 characters cannot hold is held at their limits.
        {-2000000000, 2000000000, 0, 10, 0x7FFFFFFF, "9999999"},
        {-2000000000, 2000000000, 0, 10, 0x80000000, "-999999"},
        {0, 0, 0x7FFFFFFF, 1, 0, "9999999"},
        {0, 0, static_cast<int>(0x80000000), 1, 0, "-999999"},
    };
    for (const Case &c : cases) {
        fileStartPercent = c.start;
        fileEndPercent = c.end;
        blocksDone = c.done;
        totalBlocks = c.total;
        SendMessageA(progressWindow, WM_UPDATEPROGRESS, c.wParam, 12345);
        EXPECT_EQ(c.shown, TextOf(progressBar)) << c.start << " " << c.end << " " << c.done << " " << c.wParam;
        EXPECT_EQ(atoi(c.shown), shownPercent);
    }

    // Posted by another thread, as a message of another program is: an
    // update handles no message, the next drain of the queue takes it.
    fileStartPercent = 0;
    fileEndPercent = 30;
    blocksDone = 0;
    totalBlocks = 10;
    barTexts.clear();
    std::thread poster([] { PostMessageA(progressWindow, WM_UPDATEPROGRESS, 50, 0); });
    poster.join();
    UpdateProgress(0);
    EXPECT_EQ((std::vector<std::string>{"0"}), barTexts);
    DrainMessages();
    EXPECT_EQ((std::vector<std::string>{"0", "10"}), barTexts);
}

TEST_F(ProgressWindow, SessionEndRemovesAndDestroysOnlyWhenItReallyEnds)
{
    EXPECT_EQ(1, SendMessageA(progressWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(0, SendMessageA(progressWindow, WM_ENDSESSION, 0, 0));
    EXPECT_TRUE(IsWindow(progressWindow));
    EXPECT_EQ(0, sessionEnded);

    EXPECT_EQ(0, SendMessageA(progressWindow, WM_ENDSESSION, 1, 0));
    EXPECT_FALSE(IsWindow(progressWindow));
    EXPECT_EQ(1, sessionEnded);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ProgressWindow, CloseDestroysAndTheNextPumpTakesTheQuitMessage)
{
    SendMessageA(progressWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(progressWindow));
    DrainMessages();
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    // The run goes on without the window.
    totalBlocks = 2;
    blocksDone = 1;
    UpdateProgress(100);
    EXPECT_EQ(16, shownPercent);
}

TEST_F(ProgressWindow, ShowsTheWaitCursorOverEveryPart)
{
    for (WPARAM over : {reinterpret_cast<WPARAM>(progressWindow), reinterpret_cast<WPARAM>(progressBar)}) {
        for (int hit : {HTCLIENT, HTCAPTION, HTBORDER}) {
            SetCursor(LoadCursorA(NULL, IDC_ARROW));
            EXPECT_EQ(1, SendMessageA(progressWindow, WM_SETCURSOR, over, MAKELPARAM(hit, WM_MOUSEMOVE)));
            EXPECT_EQ(LoadCursorA(NULL, IDC_WAIT), GetCursor());
        }
    }
}

TEST_F(ProgressWindow, DrawingLeavesTheDrawingContextAsItWas)
{
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 40);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    SetTextColor(dc, RGB(4, 5, 6));
    SetBkColor(dc, RGB(7, 8, 9));

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = IDC_PROGRESSBAR;
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = progressBar;
    item.hDC = dc;
    GetClientRect(progressBar, &item.rcItem);
    SendMessageA(progressWindow, WM_DRAWITEM, IDC_PROGRESSBAR, reinterpret_cast<LPARAM>(&item));

    EXPECT_EQ(RGB(4, 5, 6), GetTextColor(dc));
    EXPECT_EQ(RGB(7, 8, 9), GetBkColor(dc));
    EXPECT_EQ(pen, GetCurrentObject(dc, OBJ_PEN));
    // It did paint: the frame's shadow corner.
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(dc, 0, 0));

    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
}

// The bar on the screen, read back pixel by pixel.
class BarPixels : public ProgressWindow {
protected:
    void SetUp() override
    {
        ProgressWindow::SetUp();
        if (HasFatalFailure())
            return;
        // Above every other window, so that no other program's window hides
        // pixels from GetPixel.
        SetWindowPos(progressWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ShowWindow(progressWindow, SW_SHOWNORMAL);
        UpdateWindow(progressWindow);
        UpdateProgress(0);
        RECT client = {};
        ASSERT_TRUE(GetClientRect(progressBar, &client));
        w = client.right;
        h = client.bottom;
    }

    void Show(int percent)
    {
        fileStartPercent = percent;
        fileEndPercent = percent;
        totalBlocks = 0;
        UpdateProgress(0);
        ASSERT_EQ(std::to_string(percent), TextOf(progressBar));
        GdiFlush();
        Read();
    }

    void Read()
    {
        pixels.assign(w * h, 0);
        HDC dc = GetDC(progressBar);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                pixels[y * w + x] = GetPixel(dc, x, y);
        ReleaseDC(progressBar, dc);
        std::string label = TextOf(progressBar) + " %";
        onNavy = Label(label, NAVY, WHITE);
        onWhite = Label(label, WHITE, NAVY);
    }

    // The label alone in one colour pair, drawn where the bar draws it, in
    // the bar's font: the text is smoothed, so its exact pixels come from
    // the same text drawing, not from a fixed colour.
    std::vector<COLORREF> Label(const std::string &label, COLORREF ground, COLORREF ink)
    {
        HDC screen = GetDC(NULL);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(progressBar, WM_GETFONT, 0, 0)));
        SIZE extent;
        GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &extent);
        RECT all = {0, 0, w, h};
        SetBkColor(dc, ground);
        SetTextColor(dc, ink);
        ExtTextOutA(dc, ((w - 2) - extent.cx) / 2, ((h - 2) - extent.cy) / 2, ETO_OPAQUE, &all, label.c_str(),
                    static_cast<int>(label.size()), NULL);
        std::vector<COLORREF> out(w * h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                out[y * w + x] = GetPixel(dc, x, y);
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(NULL, screen);
        return out;
    }

    COLORREF At(int x, int y) const { return pixels[y * w + x]; }

    // The frame's rows and columns that no fill reaches at this split.
    void ExpectFrame(int split)
    {
        COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), text = GetSysColor(COLOR_BTNTEXT);
        COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT), face = GetSysColor(COLOR_BTNFACE);
        for (int x = 0; x <= w - 2; x++) {
            EXPECT_EQ(shadow, At(x, 0)) << x;
            EXPECT_EQ(highlight, At(x, h - 1)) << x;
        }
        for (int x = 1; x <= w - 3; x++) {
            EXPECT_EQ(text, At(x, 1)) << x;
            EXPECT_EQ(face, At(x, h - 2)) << x;
        }
        for (int y = 1; y <= h - 1; y++)
            EXPECT_EQ(y == h - 1 ? highlight : y == 1 || y >= h - 2 || split > 0 ? shadow : WHITE, At(0, y)) << y;
        for (int y = 2; y <= h - 3; y++)
            EXPECT_EQ(split > 0 ? text : WHITE, At(1, y)) << y;
        for (int y = 1; y <= h - 2; y++) {
            bool navy = y >= 2 && y <= h - 3 && split > w - 2;
            EXPECT_EQ(navy ? NAVY : face, At(w - 2, y)) << y;
        }
        for (int y = 1; y <= h - 1; y++) {
            bool navy = y >= 2 && y <= h - 3 && split > w - 1;
            EXPECT_EQ(navy ? NAVY : highlight, At(w - 1, y)) << y;
        }
    }

    // Navy with the white label left of the split, white with the navy label
    // from it on, up to the inner right edge or, above 100 %, the client's
    // edge: pixel for pixel what the two label drawings give.
    void ExpectFill(int split)
    {
        int right = split > w - 2 ? std::min(split, w) : w - 2;
        labelInkOnNavy = 0;
        labelInkOnWhite = 0;
        int wrong = 0;
        for (int y = 2; y <= h - 3; y++) {
            for (int x = 2; x < right; x++) {
                bool filled = x < split;
                COLORREF expected = filled ? onNavy[y * w + x] : onWhite[y * w + x];
                if (At(x, y) != expected && wrong++ < 10)
                    ADD_FAILURE() << x << "," << y << " " << std::hex << At(x, y) << " not " << expected;
                if (expected != (filled ? NAVY : WHITE))
                    (filled ? labelInkOnNavy : labelInkOnWhite)++;
            }
        }
        EXPECT_EQ(0, wrong);
    }

    int w = 0, h = 0;
    int labelInkOnNavy = 0, labelInkOnWhite = 0;
    std::vector<COLORREF> pixels, onNavy, onWhite;
};

TEST_F(BarPixels, AtZeroTheWhiteReachesFromTheLeftEdge)
{
    // The template's "0" is shown without any update.
    Read();
    ASSERT_GT(w, 20);
    ExpectFrame(0);
    ExpectFill(0);
    EXPECT_EQ(0, labelInkOnNavy);
    EXPECT_GT(labelInkOnWhite, 0);
}

TEST_F(BarPixels, PartWayTheLabelChangesColourExactlyAtTheSplit)
{
    for (int percent : {40, 50}) {
        Show(percent);
        int split = percent * (w - 2) / 100;
        ExpectFrame(split);
        ExpectFill(split);
        EXPECT_EQ(NAVY, At(split - 1, 2));
        EXPECT_EQ(WHITE, At(split, 2));
        if (percent == 50) {
            // The label straddles the split: white left of it, navy right.
            EXPECT_GT(labelInkOnNavy, 0);
            EXPECT_GT(labelInkOnWhite, 0);
        }
    }
}

TEST_F(BarPixels, AtHundredTheNavyFillsTheInnerRectangleOnly)
{
    Show(100);
    ExpectFrame(w - 2);
    ExpectFill(w - 2);
    EXPECT_GT(labelInkOnNavy, 0);
    EXPECT_EQ(0, labelInkOnWhite);
}

TEST_F(BarPixels, AboveHundredTheNavyRunsOnPastTheInnerEdge)
{
    // Just above 100 % the navy covers the frame's right columns in part or
    // whole, larger values end at the client's edge; nothing turns white.
    Show(101);
    int split = 101 * (w - 2) / 100;
    ASSERT_GT(split, w - 2);
    ExpectFrame(split);
    ExpectFill(split);
    Show(150);
    ExpectFrame(w);
    ExpectFill(w);
    EXPECT_EQ(0, labelInkOnWhite);
    Show(9999999);
    ExpectFrame(w);
    ExpectFill(w);
}

TEST_F(BarPixels, ABelowZeroTextOrAForeignTextPaintsAsZero)
{
    Show(-5);
    ExpectFrame(0);
    ExpectFill(0);
    // Anybody may set the bar's text: digits beyond any number are held.
    SetWindowTextA(progressBar, "  +999999999999999999999");
    InvalidateRect(progressBar, NULL, FALSE);
    UpdateWindow(progressBar);
    Read();
    ExpectFrame(w);
}

}  // namespace
