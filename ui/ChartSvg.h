// Charts as SVG text (UTF-8), for the command line and the history windows' "save the charts":
// a painter that writes each primitive of a scene as one SVG element.
#pragma once

#include <string>

#include "ui/ChartModel.h"
#include "ui/ChartPainter.h"
#include "ui/Notice.h"

namespace odomei {

class HistoryPresenter;
class HistoryView;

class SvgChartPainter final : public ChartPainter {
public:
    void Begin(int width, int height) override;
    void End() override;
    void FillRect(const ChartRect& rect) override;
    void DrawLine(const ChartLine& line) override;
    void DrawPolyline(const ChartPolyline& polyline) override;
    void DrawText(const ChartText& text) override;

    // The document written so far (whole after End).
    const std::string& Text() const { return m_svg; }

private:
    std::string m_svg;
};

// A scene as a whole SVG document.
std::string ChartSvg(const ChartScene& scene);

// A coordinate as the SVG holds it: at most one decimal, no trailing zero ("12", "12.5", "-3").
std::string SvgNumber(double value);

// The size of the charts a window saves: both, one below the other, each this large.
constexpr int kSavedChartWidth = 800;
constexpr int kSavedChartHeight = 320;

inline constexpr const char* kChartInitialName = "*.svg";
inline constexpr const char* kChartTypePattern = "*.svg";

// The request for saving the charts, starting in directory.
SaveAsRequest ChartSaveRequest(const std::string& directory);

// The history windows' "save the charts": asks the view for a name, writes both charts of the
// records shown as SVG (the file replaced whole), and tells the outcome in a message.
void SaveHistoryCharts(const HistoryPresenter& presenter, HistoryView& view);

}  // namespace odomei
