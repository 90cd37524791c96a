#include "ui/progress.h"
#include "launcher/globals.h"

static const COLORREF NAVY = RGB(0, 0, 128);
static const COLORREF WHITE = RGB(255, 255, 255);
// Far beyond any bar width, and small enough that percent × width stays
// well inside 64 bits.
static const LONGLONG PERCENT_LIMIT = 1000000000;

static void Polyline3(HDC dc, HPEN pen, int x0, int y0, int x1, int y1, int x2, int y2)
{
    SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, NULL);
    LineTo(dc, x1, y1);
    LineTo(dc, x2, y2);
}

// Two pixels wide, dark top-left and light bottom-right: a sunken well. The
// previous pen is left selected; the caller restores the whole DC.
void DrawSunkenFrame(HDC dc, const RECT *r)
{
    Polyline3(dc, framePens[2], r->left, r->bottom, r->left, r->top, r->right, r->top);
    Polyline3(dc, framePens[3], r->left + 1, r->bottom - 1, r->left + 1, r->top + 1, r->right - 1, r->top + 1);
    Polyline3(dc, framePens[0], r->left, r->bottom, r->right, r->bottom, r->right, r->top);
    Polyline3(dc, framePens[1], r->left + 1, r->bottom - 1, r->right - 1, r->bottom - 1, r->right - 1, r->top);
}

// The leading decimal integer of `text`, as atoi reads it, but saturating:
// anyone can set the bar's text, so its digits may be many.
static LONGLONG LeadingInteger(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        text++;
    int negative = *text == '-';
    if (*text == '-' || *text == '+')
        text++;
    LONGLONG value = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        if (value < PERCENT_LIMIT)
            value = value * 10 + (*text - '0');
    if (value > PERCENT_LIMIT)
        value = PERCENT_LIMIT;
    return negative ? -value : value;
}

void DrawProgressBar(const DRAWITEMSTRUCT *item)
{
    HDC dc = item->hDC;
    RECT client;
    GetClientRect(item->hwndItem, &client);
    int w = client.right;
    int h = client.bottom;

    RECT frame = {0, 0, w - 1, h - 1};
    DrawSunkenFrame(dc, &frame);

    RECT inner = {2, 2, w - 2, h - 2};
    RECT filled;
    RECT empty;
    CopyRect(&filled, &inner);
    CopyRect(&empty, &inner);

    // 24 characters of text, then " %" and the terminator.
    char label[24 + 3];
    GetWindowTextA(item->hwndItem, label, 25);
    LONGLONG percent = LeadingInteger(label);
    lstrcpynA(label + lstrlenA(label), " %", 3);
    int labelLength = lstrlenA(label);

    // Measured from x = 0 with the inner right edge as 100 %; nothing is
    // clamped at 100, so the navy part may run on past the inner edge. Beyond
    // the client area nothing is visible, so the split stops there.
    LONGLONG split = percent * (w - 2) / 100;
    if (split < 0)
        split = 0;
    if (split > w)
        split = w;
    filled.right = (int)split;
    empty.left = (int)split;
    // ExtTextOutA orders an inverted rectangle instead of treating it as
    // empty, which would paint the part that must stay empty: collapse it.
    if (filled.right < filled.left)
        filled.right = filled.left;
    if (empty.right < empty.left)
        empty.right = empty.left;

    FillRect(dc, &filled, navyBrush);
    FillRect(dc, &empty, whiteBrush);

    SIZE extent;
    GetTextExtentPoint32A(dc, label, labelLength, &extent);
    int x = ((w - 2) - extent.cx) / 2;
    int y = ((h - 2) - extent.cy) / 2;

    // The label twice, each clipped to one part, so that it changes colour
    // exactly at the split.
    SetBkColor(dc, NAVY);
    SetTextColor(dc, WHITE);
    ExtTextOutA(dc, x, y, ETO_CLIPPED | ETO_OPAQUE, &filled, label, labelLength, NULL);
    SetBkColor(dc, WHITE);
    SetTextColor(dc, NAVY);
    ExtTextOutA(dc, x, y, ETO_CLIPPED | ETO_OPAQUE, &empty, label, labelLength, NULL);
}
