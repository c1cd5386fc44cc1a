#include "win/ChartGdi.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win/Wide.h"
#include "win/WinUi.h"

namespace odomei::winui {
namespace {

// The chart window's extra bytes: the model it paints, then which of its charts.
constexpr int kModelSlot = 0;
constexpr int kKindSlot = sizeof(LONG_PTR);
constexpr int kChartExtraBytes = 2 * sizeof(LONG_PTR);
// The face texts take when the window gives no font.
constexpr const wchar_t* kFallbackFace = L"ＭＳ Ｐゴシック";

COLORREF Colour(const ChartColour& c) { return RGB(c.r, c.g, c.b); }

HPEN Pen(int width, bool dashed, ChartColour colour, DWORD ends) {
    const LOGBRUSH brush{BS_SOLID, Colour(colour), 0};
    return ExtCreatePen(PS_GEOMETRIC | (dashed ? PS_DASH : PS_SOLID) | ends, width, &brush, 0,
                        nullptr);
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    // Drawn whole off the screen first, then copied at once: no flicker while it is built.
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max(width, 1), std::max(height, 1));
    HGDIOBJ oldBitmap = SelectObject(buffer, bitmap);
    FillRect(buffer, &client, GetSysColorBrush(COLOR_WINDOW));
    const auto* model = reinterpret_cast<const ChartModel*>(GetWindowLongPtrW(window, kModelSlot));
    if (model != nullptr) {
        // Laid out at 96 DPI, painted at the display's scaling, as the dialog itself is.
        const ColumnScale scale = DialogScale(window);
        const auto kind = static_cast<ChartKind>(GetWindowLongPtrW(window, kKindSlot));
        const ChartScene scene =
            model->Scene(kind, MulDiv(width, scale.denominator, scale.numerator),
                         MulDiv(height, scale.denominator, scale.numerator));
        auto* font = reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0));
        GdiChartPainter painter(buffer, scale, font);
        PaintScene(scene, painter);
    }
    BitBlt(dc, 0, 0, width, height, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(buffer);
    EndPaint(window, &ps);
}

LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;  // the paint covers every pixel
        case WM_SIZE: InvalidateRect(window, nullptr, FALSE); return 0;
        case WM_PAINT: Paint(window); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

GdiChartPainter::GdiChartPainter(HDC dc, ColumnScale scale, HFONT font) : m_dc(dc), m_scale(scale) {
    if (font == nullptr || GetObjectW(font, sizeof m_face, &m_face) == 0) {
        m_face = LOGFONTW{};
        m_face.lfCharSet = SHIFTJIS_CHARSET;
        wcsncpy(m_face.lfFaceName, kFallbackFace, LF_FACESIZE - 1);
    }
    SetBkMode(m_dc, TRANSPARENT);
}

GdiChartPainter::~GdiChartPainter() {
    for (const auto& [key, font] : m_fonts) DeleteObject(font);
}

int GdiChartPainter::Scaled(double v) const {
    return static_cast<int>(std::lround(v * m_scale.numerator / m_scale.denominator));
}

HFONT GdiChartPainter::Font(double size, bool bold, bool vertical) {
    const int pixels = std::max(1, Scaled(size));
    auto& font = m_fonts[{pixels, bold, vertical}];
    if (font == nullptr) {
        LOGFONTW f = m_face;
        f.lfHeight = -pixels;  // the character's height, as the scene's size means it
        f.lfWidth = 0;
        f.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        // A vertical text reads upwards: turned a quarter left (tenths of a degree).
        f.lfEscapement = f.lfOrientation = vertical ? 900 : 0;
        font = CreateFontIndirectW(&f);
    }
    return font;
}

void GdiChartPainter::FillRect(const ChartRect& rect) {
    const RECT r{Scaled(rect.x), Scaled(rect.y), Scaled(rect.x + rect.width),
                 Scaled(rect.y + rect.height)};
    HBRUSH brush = CreateSolidBrush(Colour(rect.fill));
    ::FillRect(m_dc, &r, brush);
    DeleteObject(brush);
}

void GdiChartPainter::DrawLine(const ChartLine& line) {
    HPEN pen = Pen(std::max(1, Scaled(line.width)), line.dashed, line.colour, PS_ENDCAP_FLAT);
    HGDIOBJ old = SelectObject(m_dc, pen);
    MoveToEx(m_dc, Scaled(line.from.x), Scaled(line.from.y), nullptr);
    LineTo(m_dc, Scaled(line.to.x), Scaled(line.to.y));
    SelectObject(m_dc, old);
    DeleteObject(pen);
}

void GdiChartPainter::DrawPolyline(const ChartPolyline& polyline) {
    if (polyline.points.empty()) return;
    std::vector<POINT> points;
    points.reserve(polyline.points.size());
    for (const ChartPoint& p : polyline.points) points.push_back({Scaled(p.x), Scaled(p.y)});
    HPEN pen = Pen(std::max(1, Scaled(polyline.width)), false, polyline.colour,
                   PS_ENDCAP_ROUND | PS_JOIN_ROUND);
    HGDIOBJ old = SelectObject(m_dc, pen);
    if (points.size() == 1) {
        // A single point is a dot of the line's width.
        MoveToEx(m_dc, points[0].x, points[0].y, nullptr);
        LineTo(m_dc, points[0].x, points[0].y);
    } else {
        Polyline(m_dc, points.data(), static_cast<int>(points.size()));
    }
    SelectObject(m_dc, old);
    DeleteObject(pen);
}

void GdiChartPainter::DrawText(const ChartText& text) {
    HGDIOBJ old = SelectObject(m_dc, Font(text.size, text.bold, text.vertical));
    TEXTMETRICW metrics{};
    GetTextMetricsW(m_dc, &metrics);
    const UINT along = ByAnchor<UINT>(text.anchor, TA_LEFT, TA_CENTER, TA_RIGHT);
    SetTextAlign(m_dc, TA_TOP | along | TA_NOUPDATECP);
    SetTextColor(m_dc, Colour(text.colour));
    // The line's middle at (x, y): its top half a line above y, or, turned, left of x.
    const int half = metrics.tmHeight / 2;
    const int x = Scaled(text.x) - (text.vertical ? half : 0);
    const int y = Scaled(text.y) - (text.vertical ? 0 : half);
    const std::wstring wide = winapi::Wide(text.text);
    TextOutW(m_dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
    SelectObject(m_dc, old);
}

void RegisterChartClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kChartClassName, &existing)) return;
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = &ChartProc;
    c.cbWndExtra = kChartExtraBytes;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.lpszClassName = kChartClassName;
    RegisterClassExW(&c);
}

void SetChart(HWND chart, const ChartModel* model, ChartKind kind) {
    SetWindowLongPtrW(chart, kModelSlot, reinterpret_cast<LONG_PTR>(model));
    SetWindowLongPtrW(chart, kKindSlot, static_cast<LONG_PTR>(kind));
    InvalidateRect(chart, nullptr, FALSE);
}

}  // namespace odomei::winui
