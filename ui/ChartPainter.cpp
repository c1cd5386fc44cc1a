#include "ui/ChartPainter.h"

#include <algorithm>

namespace odomei {

void PaintScene(const ChartScene& scene, ChartPainter& painter) {
    painter.Begin(scene.width, scene.height);
    for (const ChartItem& item : scene.items) {
        if (const auto* rect = std::get_if<ChartRect>(&item)) {
            painter.FillRect(*rect);
        } else if (const auto* line = std::get_if<ChartLine>(&item)) {
            painter.DrawLine(*line);
        } else if (const auto* polyline = std::get_if<ChartPolyline>(&item)) {
            painter.DrawPolyline(*polyline);
        } else if (const auto* text = std::get_if<ChartText>(&item)) {
            painter.DrawText(*text);
        }
    }
    painter.End();
}

ChartScene StackScenes(const std::vector<ChartScene>& scenes) {
    ChartScene stacked;
    for (const ChartScene& scene : scenes) {
        const double dy = stacked.height;
        auto down = [dy](ChartPoint p) { return ChartPoint{p.x, p.y + dy}; };
        for (ChartItem item : scene.items) {
            if (auto* rect = std::get_if<ChartRect>(&item)) {
                rect->y += dy;
            } else if (auto* line = std::get_if<ChartLine>(&item)) {
                line->from = down(line->from);
                line->to = down(line->to);
            } else if (auto* polyline = std::get_if<ChartPolyline>(&item)) {
                for (ChartPoint& p : polyline->points) p = down(p);
            } else if (auto* text = std::get_if<ChartText>(&item)) {
                text->y += dy;
            }
            stacked.items.push_back(std::move(item));
        }
        stacked.width = std::max(stacked.width, scene.width);
        stacked.height += scene.height;
    }
    return stacked;
}

}  // namespace odomei
