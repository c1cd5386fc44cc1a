// The lists of the windows: a table of whole rows, one of them selected at a time, read-only.
#pragma once

class QTableWidget;

namespace odomei {

// Sets list up as every window's list behaves: no row headers, whole rows selected one at a time,
// no editing, no wrapping, and Tab leaving the list for the next control (the arrows move
// between rows).
void MakeRowList(QTableWidget* list);

}  // namespace odomei
