#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace odomei {
namespace {

int MulDiv(int a, int b, int c) {
    return static_cast<int>((static_cast<long long>(a) * b + c / 2) / c);
}

}  // namespace

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic")});
    font.setPointSize(9);
    return font;
}

QRect DluToPixels(const QFont& font, int x, int y, int width, int height) {
    const QFontMetrics fm(font);
    // The average width of the 52 Latin letters, rounded, as the platform defines the base unit.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
    const int baseY = fm.height();
    return QRect(MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(width, baseX, 4),
                 MulDiv(height, baseY, 8));
}

}  // namespace odomei
