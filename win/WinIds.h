// Ids of the Windows window's own resources, beyond those both windows share (ui/Texts.h).
// The resource script takes the same numbers from resource.h; ResourceCheck.cpp compares them.
#pragma once

namespace odomei::winui {

constexpr int kIdsAboutMenu = 101;
constexpr int kIddHistory = 103;
constexpr int kIdcHistoryList = 1100;
constexpr int kIdcHistorySummary = 1101;
constexpr int kIdcHistoryUnits = 1102;
constexpr int kIdcHistoryRange = 1103;  // the check box that limits the table to a range of dates
constexpr int kIdcHistoryFrom = 1104;
constexpr int kIdcHistoryTo = 1105;
constexpr int kIdcHistoryExport = 1106;
constexpr int kIdcHistorySaveChart = 1107;
constexpr int kIdcHistoryEconomyChart = 1108;
constexpr int kIdcHistoryErrorChart = 1109;
constexpr int kIdcHistoryExportApp = 1111;  // the records saved for a fuel app

}  // namespace odomei::winui
