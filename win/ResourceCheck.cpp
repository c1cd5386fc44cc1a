// The resource script's numbers (resource.h) must be the ones the code uses.
#include "win/resource.h"

namespace rc {
constexpr int kAbout = IDD_ABOUT, kAboutMenu = IDS_ABOUT_MENU, kMain = IDD_MAIN_WINDOW,
              kHistory = IDD_HISTORY, kApp = IDI_APP, kList = IDC_RECORD_LIST, kRead = IDC_READ,
              kSave = IDC_SAVE_CSV, kClear = IDC_CLEAR, kVersion = IDC_VERSION_TEXT,
              kHistoryButton = IDC_HISTORY, kHistoryList = IDC_HISTORY_LIST,
              kHistorySummary = IDC_HISTORY_SUMMARY, kHistoryUnits = IDC_HISTORY_UNITS,
              kHistoryRange = IDC_HISTORY_RANGE, kHistoryFrom = IDC_HISTORY_FROM,
              kHistoryTo = IDC_HISTORY_TO, kHistoryExport = IDC_HISTORY_EXPORT,
              kHistorySaveChart = IDC_HISTORY_SAVE_CHART,
              kHistoryEconomyChart = IDC_HISTORY_ECONOMY_CHART,
              kHistoryErrorChart = IDC_HISTORY_ERROR_CHART,
              kHistoryExportApp = IDC_HISTORY_EXPORT_APP, kPortSettings = IDC_PORT_SETTINGS,
              kPorts = IDD_PORTS, kPortList = IDC_PORT_LIST, kPortRefresh = IDC_PORT_REFRESH,
              kPortFind = IDC_PORT_FIND, kPortHardware = IDC_PORT_HARDWARE,
              kPortStatus = IDC_PORT_STATUS, kVehiclesButton = IDC_VEHICLES,
              kVehicleText = IDC_VEHICLE_TEXT, kHistoryVehicle = IDC_HISTORY_VEHICLE,
              kVehicles = IDD_VEHICLES, kVehicleEdit = IDD_VEHICLE_EDIT,
              kVehiclePrompt = IDC_VEHICLE_PROMPT, kVehicleList = IDC_VEHICLE_LIST,
              kVehicleAdd = IDC_VEHICLE_ADD, kVehicleRename = IDC_VEHICLE_RENAME,
              kVehicleRemove = IDC_VEHICLE_REMOVE, kVehicleName = IDC_VEHICLE_NAME,
              kVehicleNote = IDC_VEHICLE_NOTE;
}  // namespace rc

#undef IDD_ABOUT
#undef IDS_ABOUT_MENU
#undef IDD_MAIN_WINDOW
#undef IDD_HISTORY
#undef IDI_APP
#undef IDC_RECORD_LIST
#undef IDC_READ
#undef IDC_SAVE_CSV
#undef IDC_CLEAR
#undef IDC_VERSION_TEXT
#undef IDC_HISTORY
#undef IDC_HISTORY_LIST
#undef IDC_HISTORY_SUMMARY
#undef IDC_HISTORY_UNITS
#undef IDC_HISTORY_RANGE
#undef IDC_HISTORY_FROM
#undef IDC_HISTORY_TO
#undef IDC_HISTORY_EXPORT
#undef IDC_HISTORY_SAVE_CHART
#undef IDC_HISTORY_ECONOMY_CHART
#undef IDC_HISTORY_ERROR_CHART
#undef IDC_HISTORY_EXPORT_APP
#undef IDC_PORT_SETTINGS
#undef IDD_PORTS
#undef IDC_PORT_LIST
#undef IDC_PORT_REFRESH
#undef IDC_PORT_FIND
#undef IDC_PORT_HARDWARE
#undef IDC_PORT_STATUS
#undef IDC_VEHICLES
#undef IDC_VEHICLE_TEXT
#undef IDC_HISTORY_VEHICLE
#undef IDD_VEHICLES
#undef IDD_VEHICLE_EDIT
#undef IDC_VEHICLE_PROMPT
#undef IDC_VEHICLE_LIST
#undef IDC_VEHICLE_ADD
#undef IDC_VEHICLE_RENAME
#undef IDC_VEHICLE_REMOVE
#undef IDC_VEHICLE_NAME
#undef IDC_VEHICLE_NOTE

#include "ui/PortPresenter.h"
#include "ui/Texts.h"
#include "win/WinIds.h"

namespace odomei::winui {

static_assert(rc::kAbout == IDD_ABOUT && rc::kMain == IDD_MAIN_WINDOW && rc::kApp == IDI_APP);
static_assert(rc::kList == IDC_RECORD_LIST && rc::kRead == IDC_READ && rc::kSave == IDC_SAVE_CSV &&
              rc::kClear == IDC_CLEAR && rc::kVersion == IDC_VERSION_TEXT &&
              rc::kHistoryButton == IDC_HISTORY && rc::kPortSettings == IDC_PORT_SETTINGS);
static_assert(rc::kPorts == IDD_PORTS && rc::kPortList == IDC_PORT_LIST &&
              rc::kPortRefresh == IDC_PORT_REFRESH && rc::kPortFind == IDC_PORT_FIND &&
              rc::kPortHardware == IDC_PORT_HARDWARE && rc::kPortStatus == IDC_PORT_STATUS);
static_assert(rc::kAboutMenu == kIdsAboutMenu && rc::kHistory == kIddHistory &&
              rc::kHistoryList == kIdcHistoryList && rc::kHistorySummary == kIdcHistorySummary &&
              rc::kHistoryUnits == kIdcHistoryUnits);
static_assert(rc::kHistoryRange == kIdcHistoryRange && rc::kHistoryFrom == kIdcHistoryFrom &&
              rc::kHistoryTo == kIdcHistoryTo && rc::kHistoryExport == kIdcHistoryExport);
static_assert(rc::kHistorySaveChart == kIdcHistorySaveChart &&
              rc::kHistoryEconomyChart == kIdcHistoryEconomyChart &&
              rc::kHistoryErrorChart == kIdcHistoryErrorChart &&
              rc::kHistoryExportApp == kIdcHistoryExportApp);
static_assert(rc::kVehiclesButton == IDC_VEHICLES && rc::kVehicleText == IDC_VEHICLE_TEXT &&
              rc::kHistoryVehicle == IDC_HISTORY_VEHICLE);
static_assert(rc::kVehicles == IDD_VEHICLES && rc::kVehicleEdit == IDD_VEHICLE_EDIT &&
              rc::kVehiclePrompt == IDC_VEHICLE_PROMPT && rc::kVehicleList == IDC_VEHICLE_LIST &&
              rc::kVehicleAdd == IDC_VEHICLE_ADD && rc::kVehicleRename == IDC_VEHICLE_RENAME &&
              rc::kVehicleRemove == IDC_VEHICLE_REMOVE && rc::kVehicleName == IDC_VEHICLE_NAME &&
              rc::kVehicleNote == IDC_VEHICLE_NOTE);

}  // namespace odomei::winui
