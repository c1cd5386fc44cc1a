#include "ui/ChartSvg.h"

#include <cmath>
#include <cstdio>

#include "ui/HistoryPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

// The font the windows use, then whatever the viewer has.
constexpr const char* kSvgFontFamily = "IPAGothic, 'IPA Gothic', sans-serif";

std::string Colour(ChartColour c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

// Text as XML character data or an attribute's value.
std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters have no place in XML 1.0; a tab or line end becomes a space.
                out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out;
}

}  // namespace

std::string SvgNumber(double value) {
    const long long tenths = std::llround(value * 10.0);
    const long long whole = tenths / 10;
    const long long fraction = tenths % 10;
    std::string text;
    if (tenths < 0 && whole == 0) text = "-";
    text += std::to_string(whole);
    if (fraction != 0) text += "." + std::to_string(fraction < 0 ? -fraction : fraction);
    return text;
}

void SvgChartPainter::Begin(int width, int height) {
    const std::string w = std::to_string(width), h = std::to_string(height);
    m_svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h + "\" font-family=\"" +
        Escaped(kSvgFontFamily) + "\">\n";
}

void SvgChartPainter::End() { m_svg += "</svg>\n"; }

void SvgChartPainter::FillRect(const ChartRect& r) {
    m_svg += "<rect x=\"" + SvgNumber(r.x) + "\" y=\"" + SvgNumber(r.y) + "\" width=\"" +
             SvgNumber(r.width) + "\" height=\"" + SvgNumber(r.height) + "\" fill=\"" +
             Colour(r.fill) + "\"/>\n";
}

void SvgChartPainter::DrawLine(const ChartLine& l) {
    m_svg += "<line x1=\"" + SvgNumber(l.from.x) + "\" y1=\"" + SvgNumber(l.from.y) + "\" x2=\"" +
             SvgNumber(l.to.x) + "\" y2=\"" + SvgNumber(l.to.y) + "\" stroke=\"" +
             Colour(l.colour) + "\" stroke-width=\"" + SvgNumber(l.width) + "\"" +
             (l.dashed ? " stroke-dasharray=\"4 3\"" : "") + "/>\n";
}

void SvgChartPainter::DrawPolyline(const ChartPolyline& p) {
    m_svg += "<polyline fill=\"none\" stroke=\"" + Colour(p.colour) + "\" stroke-width=\"" +
             SvgNumber(p.width) + "\" stroke-linejoin=\"round\" points=\"";
    for (std::size_t i = 0; i < p.points.size(); ++i) {
        if (i != 0) m_svg += ' ';
        m_svg += SvgNumber(p.points[i].x) + "," + SvgNumber(p.points[i].y);
    }
    m_svg += "\"/>\n";
}

void SvgChartPainter::DrawText(const ChartText& t) {
    const char* anchor = ByAnchor(t.anchor, "start", "middle", "end");
    const std::string x = SvgNumber(t.x), y = SvgNumber(t.y);
    m_svg += "<text x=\"" + x + "\" y=\"" + y + "\" font-size=\"" + SvgNumber(t.size) +
             "\" fill=\"" + Colour(t.colour) + "\" text-anchor=\"" + anchor +
             "\" dominant-baseline=\"central\"" + (t.bold ? " font-weight=\"bold\"" : "") +
             (t.vertical ? " transform=\"rotate(-90 " + x + " " + y + ")\"" : "") + ">" +
             Escaped(t.text) + "</text>\n";
}

std::string ChartSvg(const ChartScene& scene) {
    SvgChartPainter painter;
    PaintScene(scene, painter);
    return painter.Text();
}

SaveAsRequest ChartSaveRequest(const std::string& directory) {
    SaveAsRequest request;
    request.initialName = kChartInitialName;
    request.typeDescription = kChartTypeDescription;
    request.typePattern = kChartTypePattern;
    request.directory = directory;
    request.confirmOverwrite = true;
    return request;
}

void SaveHistoryCharts(const HistoryPresenter& presenter, HistoryView& view) {
    if (presenter.Chosen().empty()) {
        view.Message(kNothingToSave, kMbOk);
        return;
    }
    const auto chosen = view.AskSaveName(ChartSaveRequest(presenter.Directory()));
    if (!chosen) return;
    const ChartModel model =
        ChartModel(presenter.Sheet(), presenter.Chosen(), presenter.PerHundredKm());
    const std::string svg = ChartSvg(
        model.Scene({ChartKind::kEconomy, ChartKind::kError}, kSavedChartWidth, kSavedChartHeight));
    // The SVG is UTF-8 as its header says, so its bytes go as they are.
    const Notice notice = SaveFile(chosen->path, chosen->fileName, svg);
    view.Message(notice.text, notice.flags, notice.detail);
}

}  // namespace odomei
