// The record list's column widths: the fixed widths the window was designed with, scaled as the
// window is, where they fit, and where a font makes them overflow, room taken from columns that
// need less.
#pragma once

#include <vector>

namespace odomei {

// What the designed widths are multiplied by: the display's scaling where the window's sizes
// follow it (a Win32 dialog at 125 % is 5/4), 1 where the toolkit scales pixels by itself.
struct ColumnScale {
    int numerator = 1;
    int denominator = 1;
};

// designed: the designed widths, column 0 taking what the others leave (its entry is ignored);
// needed: what each column's caption and texts need; client: the list's inner width. Every
// column gets at least what it needs; where the designed widths then overflow, the difference
// is taken from every column wider than it needs, column 0 too, in proportion to its spare room.
// Only when that is not enough are the columns wider together than the list (which then
// scrolls).
std::vector<int> FitColumns(const std::vector<int>& designed, const std::vector<int>& needed,
                            int client, ColumnScale scale = {});

}  // namespace odomei
