// The history's charts with GDI: the painter that draws a chart scene on a device context, and
// the chart window the history template places, which paints its chart at its own size.
#pragma once

#include <windows.h>

#include <map>
#include <tuple>

#include "ui/ChartModel.h"
#include "ui/ChartPainter.h"
#include "ui/ColumnLayout.h"

namespace odomei::winui {

// Paints a scene laid out at 96 DPI on dc, every coordinate, width and font size multiplied by
// scale (the display's scaling, as DialogScale gives it). Texts take the face of font.
class GdiChartPainter final : public ChartPainter {
public:
    GdiChartPainter(HDC dc, ColumnScale scale, HFONT font);
    ~GdiChartPainter() override;
    GdiChartPainter(const GdiChartPainter&) = delete;
    GdiChartPainter& operator=(const GdiChartPainter&) = delete;

    void FillRect(const ChartRect& rect) override;
    void DrawLine(const ChartLine& line) override;
    void DrawPolyline(const ChartPolyline& polyline) override;
    void DrawText(const ChartText& text) override;

private:
    int Scaled(double v) const;
    HFONT Font(double size, bool bold, bool vertical);

    HDC m_dc;
    ColumnScale m_scale;
    LOGFONTW m_face{};
    std::map<std::tuple<int, bool, bool>, HFONT> m_fonts;  // by pixel height, bold, vertical
};

// The window class of the charts in the history template.
inline constexpr const wchar_t* kChartClassName = L"OdomeiChart";
// Registers the class (once; later calls do nothing).
void RegisterChartClass(HINSTANCE instance);
// What a chart window paints: kind of the model's charts; a null model paints the background
// only. The model must live until the window is given another or is gone.
void SetChart(HWND chart, const ChartModel* model, ChartKind kind);

}  // namespace odomei::winui
