// A chart as a scene of plain primitives in pixel coordinates (origin top left, y downwards), and
// the painter every front end implements to draw it: QPainter, GDI and SVG paint the same items
// at the same coordinates, in the scene's order.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace odomei {

struct ChartColour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const ChartColour&) const = default;
};

struct ChartPoint {
    double x = 0;
    double y = 0;
    bool operator==(const ChartPoint&) const = default;
};

// A filled rectangle, no outline: backgrounds and the legend's swatches.
struct ChartRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    ChartColour fill;
};

// A straight line: axes, ticks and grid lines.
struct ChartLine {
    ChartPoint from;
    ChartPoint to;
    ChartColour colour;
    double width = 1;
    bool dashed = false;
};

// A series: the points joined in order.
struct ChartPolyline {
    std::vector<ChartPoint> points;
    ChartColour colour;
    double width = 1;
};

// Where a text's x lies along it.
enum class ChartAnchor { kStart, kMiddle, kEnd };

// What a painter uses for an anchor: start, middle or end as the anchor is.
template <typename T>
constexpr T ByAnchor(ChartAnchor anchor, T start, T middle, T end) {
    return anchor == ChartAnchor::kStart ? start : anchor == ChartAnchor::kMiddle ? middle : end;
}

// One line of UTF-8 text. y is the middle of the line's height; a vertical text reads upwards,
// turned a quarter left around (x, y), with its anchor along the turned line.
struct ChartText {
    double x = 0;
    double y = 0;
    std::string text;
    ChartColour colour;
    double size = 12;  // the font's pixel height
    ChartAnchor anchor = ChartAnchor::kStart;
    bool bold = false;
    bool vertical = false;
};

using ChartItem = std::variant<ChartRect, ChartLine, ChartPolyline, ChartText>;

// One or more charts at a given pixel size, painted in the order of items.
struct ChartScene {
    int width = 0;
    int height = 0;
    std::vector<ChartItem> items;
};

// What a front end implements to paint a scene (PaintScene calls these in the scene's order).
class ChartPainter {
public:
    virtual ~ChartPainter() = default;
    // Before the first item and after the last: the scene's size, e.g. for a surface or a header.
    virtual void Begin(int /*width*/, int /*height*/) {}
    virtual void End() {}
    virtual void FillRect(const ChartRect& rect) = 0;
    virtual void DrawLine(const ChartLine& line) = 0;
    virtual void DrawPolyline(const ChartPolyline& polyline) = 0;
    virtual void DrawText(const ChartText& text) = 0;
};

// Paints every item of scene with painter, between Begin and End.
void PaintScene(const ChartScene& scene, ChartPainter& painter);

// The scenes one below the other in one scene as wide as the widest.
ChartScene StackScenes(const std::vector<ChartScene>& scenes);

}  // namespace odomei
