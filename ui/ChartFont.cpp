#include "ui/ChartFont.h"

namespace odomei {

double ChartTextWidth(const std::string& text, double size) {
    double width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        bool narrow = length == 1;
        if (length == 3 && i + 2 < text.size()) {
            // U+FF61..U+FF9F, half-width katakana: EF BD A1..EF BE 9F
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            narrow = c == 0xEF && (c1 == 0xBD || c1 == 0xBE);
        }
        width += size * (narrow ? 0.6 : 1.0);
        i += length;
    }
    return width;
}

}  // namespace odomei
