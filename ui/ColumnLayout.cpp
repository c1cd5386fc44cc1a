#include "ui/ColumnLayout.h"

#include <algorithm>
#include <numeric>

namespace odomei {

std::vector<int> FitColumns(const std::vector<int>& designed, const std::vector<int>& needed,
                            int client) {
    std::vector<int> widths(designed.size());
    int fixed = 0;
    for (std::size_t c = 1; c < designed.size(); ++c) {
        widths[c] = std::max(designed[c], needed[c]);
        fixed += designed[c];
    }
    widths[0] = std::max(client - fixed, needed[0]);
    int excess = std::accumulate(widths.begin(), widths.end(), 0) - client;
    if (excess <= 0) return widths;
    int spare = 0;
    for (std::size_t c = 1; c < widths.size(); ++c) spare += widths[c] - needed[c];
    if (spare <= excess) {
        for (std::size_t c = 1; c < widths.size(); ++c) widths[c] = needed[c];
        return widths;
    }
    // In proportion to each column's spare room; what rounding leaves goes from the last ones.
    int taken = 0;
    for (std::size_t c = 1; c < widths.size(); ++c) {
        const int share = (widths[c] - needed[c]) * excess / spare;
        widths[c] -= share;
        taken += share;
    }
    while (taken < excess) {  // ends: there is more spare room than excess
        for (std::size_t c = widths.size() - 1; c >= 1 && taken < excess; --c) {
            if (widths[c] > needed[c]) {
                --widths[c];
                ++taken;
            }
        }
    }
    return widths;
}

}  // namespace odomei
