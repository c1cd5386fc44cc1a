#include "ui/ColumnLayout.h"

#include <algorithm>
#include <numeric>

namespace odomei {

std::vector<int> FitColumns(const std::vector<int>& designed, const std::vector<int>& needed,
                            int client, ColumnScale scale) {
    std::vector<int> widths(designed.size());
    int fixed = 0;
    for (std::size_t c = 1; c < designed.size(); ++c) {
        // Rounded to the nearest pixel.
        const int scaled =
            (2 * designed[c] * scale.numerator + scale.denominator) / (2 * scale.denominator);
        widths[c] = std::max(scaled, needed[c]);
        fixed += scaled;
    }
    widths[0] = std::max(client - fixed, needed[0]);
    const int excess = std::accumulate(widths.begin(), widths.end(), 0) - client;
    if (excess <= 0) return widths;
    int spare = 0;
    for (std::size_t c = 0; c < widths.size(); ++c) spare += widths[c] - needed[c];
    if (spare <= excess) return needed;
    // In proportion to each column's spare room; what rounding leaves goes from the last ones.
    int taken = 0;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        const int share = (widths[c] - needed[c]) * excess / spare;
        widths[c] -= share;
        taken += share;
    }
    while (taken < excess) {  // ends: there is more spare room than excess
        for (std::size_t c = widths.size(); c-- > 0 && taken < excess;) {
            if (widths[c] > needed[c]) {
                --widths[c];
                ++taken;
            }
        }
    }
    return widths;
}

}  // namespace odomei
