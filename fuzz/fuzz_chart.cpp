// Any set of records the logbook can hold, charted at any size, ends in a scene with a few ticks
// per axis and every coordinate finite and inside the picture: never a hang, never memory
// without end.
//
// The input: one byte of options (bit 0: L/100 km; bits 1-2: economy, error, or both), the
// width and the height (two bytes each, little-endian), then records of kRecordBytes each: a
// byte of flags (bit 0: no date), the days since the record before (two bytes, signed), and the
// distance, refuel, fuel and correction, each as one byte saying how to read the eight after it
// (see Figure).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <variant>
#include <vector>

#include "data/Logbook.h"
#include "fuzz/FuzzRequire.h"
#include "ui/ChartModel.h"
#include "ui/ChartPainter.h"

namespace {

constexpr std::size_t kHeaderBytes = 5;
constexpr std::size_t kFigures = 4;
constexpr std::size_t kFigureBytes = 9;
constexpr std::size_t kRecordBytes = 3 + kFigures * kFigureBytes;
// The largest figure an import takes in: twelve whole digits and two decimals, in hundredths.
constexpr std::int64_t kLargest = 99999999999999;
constexpr std::int64_t kOrdinary = 100000;  // up to 1000.00
// The days a four-digit year allows: 0000-01-01 and 9999-12-31.
constexpr std::int64_t kFirstDay = -719528;
constexpr std::int64_t kLastDay = 2932896;
constexpr std::int64_t kStartDay = 16436;  // 2015-01-01

// Texts a chart holds at most, beyond its ticks' labels: title, legend and the right axis's name.
constexpr std::size_t kFixedTexts = 4;
// Date labels take more than this many pixels each, value labels more than kValueTickPixels.
constexpr double kDateLabelPixels = 50;
constexpr double kValueTickPixels = 40;

std::int64_t Read(const std::uint8_t* p, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return static_cast<std::int64_t>(v);
}

// A figure in hundredths: any the logbook can hold, one near the record before's (nearly flat
// series), one near the largest, or an ordinary one.
std::int64_t Figure(const std::uint8_t* p, std::int64_t before) {
    const std::int64_t raw = Read(p + 1, 8);
    const auto small = static_cast<std::int64_t>(static_cast<std::int8_t>(p[1]));
    switch (p[0] % 4) {
        case 0: return raw % (kLargest + 1);  // either sign
        case 1: return std::clamp(before + small, -kLargest, kLargest);
        case 2: return kLargest - (small & 0x7F);
        default: return (raw & 0x7FFFFFFF) % kOrdinary;
    }
}

// Checks every item as a painter gets it.
class CheckingPainter final : public odomei::ChartPainter {
public:
    void Begin(int width, int height) override {
        m_width = width;
        m_height = height;
    }
    void FillRect(const odomei::ChartRect& r) override {
        Inside(r.x, r.y);
        Inside(r.x + r.width, r.y + r.height);
    }
    void DrawLine(const odomei::ChartLine& l) override {
        Inside(l.from.x, l.from.y);
        Inside(l.to.x, l.to.y);
    }
    void DrawPolyline(const odomei::ChartPolyline& p) override {
        // At most each pixel column's first, lowest, highest and last point.
        Require(p.points.size() <= 4 * (static_cast<std::size_t>(m_width) + 1),
                "more points than the pixel columns show");
        for (const odomei::ChartPoint& q : p.points) Inside(q.x, q.y);
    }
    void DrawText(const odomei::ChartText& t) override {
        Inside(t.x, t.y);
        ++texts;
    }
    std::size_t texts = 0;

private:
    void Inside(double x, double y) const {
        Require(std::isfinite(x) && std::isfinite(y), "a coordinate that is not finite");
        Require(x >= 0 && x <= m_width && y >= 0 && y <= m_height, "outside the picture");
    }
    int m_width = 0, m_height = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) return 0;
    const bool per100km = (data[0] & 1) != 0;
    const int which = (data[0] >> 1) % 3;
    const int width = static_cast<int>(Read(data + 1, 2) % (odomei::kMaximumChartWidth + 1));
    const int height = static_cast<int>(Read(data + 3, 2) % (odomei::kMaximumChartHeight + 1));

    std::vector<odomei::LogbookRecord> records;
    std::int64_t day = kStartDay;
    odomei::LogbookRecord before;
    for (std::size_t at = kHeaderBytes; at + kRecordBytes <= size; at += kRecordBytes) {
        const std::uint8_t* p = data + at;
        odomei::LogbookRecord r;
        day = std::clamp(day + static_cast<std::int16_t>(Read(p + 1, 2)), kFirstDay, kLastDay);
        if ((p[0] & 1) == 0) r.isoDate = odomei::IsoDate(day);
        std::int64_t* figures[kFigures] = {&r.distance, &r.refuel, &r.fuel, &r.correction};
        const std::int64_t previous[kFigures] = {before.distance, before.refuel, before.fuel,
                                                 before.correction};
        for (std::size_t i = 0; i < kFigures; ++i) {
            *figures[i] = Figure(p + 3 + i * kFigureBytes, previous[i]);
        }
        records.push_back(r);
        before = r;
    }

    const odomei::ChartModel model(records, per100km);
    std::vector<odomei::ChartKind> kinds;
    if (which != 1) kinds.push_back(odomei::ChartKind::kEconomy);
    if (which != 0) kinds.push_back(odomei::ChartKind::kError);
    const odomei::ChartScene scene = model.Scene(kinds, width, height);
    CheckingPainter painter;
    odomei::PaintScene(scene, painter);
    // Every chart's texts: a few fixed ones, the date labels the width has room for, and the
    // value labels of two axes the height has room for (each a tick more either end).
    const double w = std::max(width, odomei::kMinimumChartWidth);
    const double h = std::max(height, odomei::kMinimumChartHeight);
    const auto perChart = static_cast<std::size_t>(kFixedTexts + w / kDateLabelPixels + 1 +
                                                   2 * (h / kValueTickPixels + 3));
    Require(painter.texts <= kinds.size() * perChart, "more ticks than the chart has room for");
    return 0;
}
