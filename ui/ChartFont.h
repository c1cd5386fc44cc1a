// The charts' text as the layout reckons with it: the labels' size, and how wide a text is drawn
// without asking any toolkit, so that every painter gets the same layout.
#pragma once

#include <string>

namespace odomei {

// The font's pixel height of tick labels, legend entries and axis names.
constexpr double kChartLabelSize = 11;

// A text's width at a font size: wide characters a full em, the rest (ASCII and half-width
// katakana) about 0.6 of it.
double ChartTextWidth(const std::string& text, double size);

}  // namespace odomei
