// Dialog units of the window templates, turned into pixels for a given font.
#pragma once

#include <QFont>
#include <QRect>

namespace odomei {

// The dialog font: 9-point "ＭＳ Ｐゴシック", falling back to IPAPGothic where it is missing.
QFont DialogFont();

// Converts a rectangle in dialog units: x units are a quarter of the font's average character
// width, y units an eighth of its height.
QRect DluToPixels(const QFont& font, int x, int y, int width, int height);

}  // namespace odomei
