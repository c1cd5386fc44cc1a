// The fifteen rows of display text that the last read produced, and how many of them are filled.
#pragma once

#include <array>
#include <string>

namespace odomei {

constexpr int kMaxRecords = 15;

// One record as it is shown: six UTF-8 texts.
struct RecordRow {
    std::string m_strDate;
    std::string m_strDistance;
    std::string m_strFuel;
    std::string m_strCorrection;
    std::string m_strRefuel;
    std::string m_strError;

    bool operator==(const RecordRow&) const = default;
};

// Rows 1 to m_nRecordCount (m_rows[0] to m_rows[count - 1]) are filled. Whenever the count is 0,
// every string of every row is empty.
struct RecordTable {
    std::array<RecordRow, kMaxRecords> m_rows;
    int m_nRecordCount = 0;

    // Empties every string of every row; the count is the caller's to reset.
    void ClearRows();
};

}  // namespace odomei
