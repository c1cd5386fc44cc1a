#include "data/RecordTable.h"

namespace odomei {

void RecordTable::ClearRows() {
    for (auto& row : m_rows) row = RecordRow{};
}

}  // namespace odomei
