// The record list's column widths: the fixed widths the window was designed with where they
// fit, and where a font makes them overflow, room taken from columns that need less.
#pragma once

#include <vector>

namespace odomei {

// designed: the designed widths, column 0 taking what the others leave (its entry is ignored);
// needed: what each column's caption and texts need; client: the list's inner width. Every
// column gets at least what it needs; where the designed widths then overflow, the difference
// is taken from the columns wider than they need, in proportion to their spare room. Only when
// that is not enough are the columns wider together than the list (which then scrolls).
std::vector<int> FitColumns(const std::vector<int>& designed, const std::vector<int>& needed,
                            int client);

}  // namespace odomei
