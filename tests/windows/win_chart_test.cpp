// The GDI chart painter on a bitmap: a scene laid out at 96 DPI lands where the display's scaling
// puts it, dashes stay dashes, and texts sit on their anchor, turned ones too.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>

#include "win/ChartGdi.h"

namespace odomei::winui {
namespace {

constexpr ChartColour kRed{200, 0, 0};
constexpr ChartColour kBlue{0, 0, 200};

// A white bitmap to paint on, and where the ink went.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height) {
        m_dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<const DWORD*>(bits);
        m_old = SelectObject(m_dc, m_bitmap);
        const RECT all{0, 0, width, height};
        FillRect(m_dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    COLORREF At(int x, int y) const {
        GdiFlush();
        const DWORD p = m_bits[y * m_width + x];  // BGRA
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    bool Inked(int x, int y) const { return At(x, y) != RGB(255, 255, 255); }
    // The box around every pixel that is not white.
    RECT Ink() const {
        RECT r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                if (!Inked(x, y)) continue;
                r = {std::min<LONG>(r.left, x), std::min<LONG>(r.top, y),
                     std::max<LONG>(r.right, x + 1), std::max<LONG>(r.bottom, y + 1)};
            }
        }
        return r;
    }

private:
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    const DWORD* m_bits = nullptr;
};

constexpr ColumnScale k150Percent{144, 96};

TEST(GdiChartPainter, ScalesRectanglesAndLinesAsTheDisplayDoes) {
    Canvas canvas(200, 200);
    {
        GdiChartPainter painter(canvas.Dc(), k150Percent, nullptr);
        painter.FillRect({10, 10, 20, 20, kRed});  // 15..45 at 150 %
        painter.DrawLine({{10, 100}, {110, 100}, kBlue, 2, false});
    }
    EXPECT_EQ(canvas.At(16, 16), RGB(200, 0, 0));
    EXPECT_EQ(canvas.At(44, 44), RGB(200, 0, 0));
    EXPECT_FALSE(canvas.Inked(47, 47));
    EXPECT_FALSE(canvas.Inked(13, 13));
    // Two pixels wide at 96 DPI: three at 150 %, around y = 150, from x = 15 to 165.
    int thick = 0;
    for (int y = 140; y < 160; ++y) thick += canvas.At(90, y) == RGB(0, 0, 200);
    EXPECT_EQ(thick, 3);
    EXPECT_EQ(canvas.At(20, 150), RGB(0, 0, 200));
    EXPECT_FALSE(canvas.Inked(170, 150));
}

TEST(GdiChartPainter, DashedLinesHaveGapsAndSolidOnesNone) {
    Canvas canvas(220, 40);
    {
        GdiChartPainter painter(canvas.Dc(), {1, 1}, nullptr);
        painter.DrawLine({{10, 10}, {210, 10}, kBlue, 1, true});
        painter.DrawLine({{10, 30}, {210, 30}, kBlue, 1, false});
    }
    int dashedInk = 0, solidInk = 0;
    for (int x = 10; x < 210; ++x) {
        dashedInk += canvas.Inked(x, 10);
        solidInk += canvas.Inked(x, 30);
    }
    EXPECT_EQ(solidInk, 200);
    EXPECT_GT(dashedInk, 40);
    EXPECT_LT(dashedInk, 180);
}

TEST(GdiChartPainter, PolylinesJoinTheirPoints) {
    Canvas canvas(120, 120);
    {
        GdiChartPainter painter(canvas.Dc(), {1, 1}, nullptr);
        painter.DrawPolyline({{{10, 10}, {100, 10}, {100, 100}}, kRed, 1});
    }
    EXPECT_TRUE(canvas.Inked(55, 10));
    EXPECT_TRUE(canvas.Inked(100, 55));
    EXPECT_FALSE(canvas.Inked(55, 55));  // not closed back to the start
}

// Where the ink of one text goes, painted at 150 % around (100, 100) of the scene.
RECT TextInk(ChartAnchor anchor, bool vertical) {
    Canvas canvas(300, 300);
    {
        GdiChartPainter painter(canvas.Dc(), k150Percent, nullptr);
        ChartText text;
        text.x = text.y = 100;
        text.text = "1234567";
        text.size = 12;
        text.anchor = anchor;
        text.vertical = vertical;
        painter.DrawText(text);
    }
    return canvas.Ink();
}

TEST(GdiChartPainter, TextsSitOnTheirAnchorAndTheLinesMiddle) {
    constexpr int kAt = 150;   // the anchor point at 150 %
    constexpr int kSlack = 4;  // pixels: the glyphs' own side bearings and the font's leading
    const RECT start = TextInk(ChartAnchor::kStart, false);
    ASSERT_LT(start.left, start.right) << "no ink";
    EXPECT_NEAR(start.left, kAt, kSlack);
    EXPECT_NEAR((start.top + start.bottom) / 2, kAt, kSlack);
    // Seven digits of an 18-pixel font: wider than tall.
    EXPECT_GT(start.right - start.left, 2 * (start.bottom - start.top));
    const RECT end = TextInk(ChartAnchor::kEnd, false);
    EXPECT_NEAR(end.right, kAt, kSlack);
    const RECT middle = TextInk(ChartAnchor::kMiddle, false);
    EXPECT_NEAR((middle.left + middle.right) / 2, kAt, kSlack);

    // Turned a quarter left, reading upwards: it starts at the anchor and goes up.
    const RECT up = TextInk(ChartAnchor::kStart, true);
    ASSERT_LT(up.top, up.bottom) << "no ink";
    EXPECT_GT(up.bottom - up.top, 2 * (up.right - up.left));
    EXPECT_NEAR(up.bottom, kAt, kSlack);
    EXPECT_NEAR((up.left + up.right) / 2, kAt, kSlack);
    const RECT upMiddle = TextInk(ChartAnchor::kMiddle, true);
    EXPECT_NEAR((upMiddle.top + upMiddle.bottom) / 2, kAt, kSlack);
}

}  // namespace
}  // namespace odomei::winui
