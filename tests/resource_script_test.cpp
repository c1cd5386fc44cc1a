// The Windows window's resource script must show what the shared texts say: the same captions
// in the same places, so that the two windows never drift apart.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "ui/ChartSvg.h"
#include "ui/HistoryText.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

std::string ResourceScript() {
    std::ifstream in(std::string(ODOMEI_TEST_DATA) + "/../../win/odomei.rc", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The statement of a control with this text and id name: its four numbers, in dialog units.
std::vector<int> PlaceOf(const std::string& rc, const ControlTemplate& c) {
    const std::regex statement("\"" + std::string(c.text) + "\"\\s*,\\s*" + c.name +
                               "\\s*,\\s*(?:\"[^\"]*\"\\s*,\\s*[^,]*,\\s*)?(\\d+)\\s*,\\s*(\\d+)"
                               "\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)");
    std::smatch m;
    if (!std::regex_search(rc, m, statement)) return {};
    return {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

// A template's statements, from its DIALOGEX line to its END.
std::string DialogOf(const std::string& rc, const std::string& name) {
    const std::size_t start = rc.find(name + " DIALOGEX");
    if (start == std::string::npos) return {};
    return rc.substr(start, rc.find("\nEND", start) - start);
}

TEST(ResourceScript, TheMainWindowsControlsAreTheSharedOnes) {
    const std::string rc = ResourceScript();
    ASSERT_FALSE(rc.empty());
    for (const ControlTemplate& c : {kExit, kList, kRead, kSave, kClear, kHistory, kPortSettings,
                                     kVehicles, kVehicleText, kVersion}) {
        EXPECT_EQ(PlaceOf(rc, c), (std::vector<int>{c.x, c.y, c.width, c.height})) << c.name;
    }
    EXPECT_NE(rc.find("IDD_MAIN_WINDOW DIALOGEX 0, 0, " + std::to_string(kWindowWidthDlu) + ", " +
                      std::to_string(kWindowHeightDlu)),
              std::string::npos);
    EXPECT_NE(rc.find("CAPTION \"" + std::string(kAppTitle) + "\""), std::string::npos);
}

// The template's order is the Tab order: the exit button first (the focus starts there), then
// the list, the first row's buttons and the second row's; the texts last.
TEST(ResourceScript, TheMainWindowsTabOrderIsTheTemplates) {
    const std::string main = DialogOf(ResourceScript(), "IDD_MAIN_WINDOW");
    ASSERT_FALSE(main.empty());
    std::size_t last = 0;
    for (const ControlTemplate& c : {kExit, kList, kRead, kSave, kClear, kHistory, kPortSettings,
                                     kVehicles, kVersion, kVehicleText}) {
        const std::size_t at = main.find(std::string(", ") + c.name + ",");
        ASSERT_NE(at, std::string::npos) << c.name;
        EXPECT_GT(at, last) << c.name << " is out of order";
        last = at;
    }
}

// The vehicle dialog and its name-and-note dialog: the shared sizes, places and texts.
TEST(ResourceScript, TheVehicleDialogsAreTheSharedOnes) {
    const std::string rc = ResourceScript();
    const std::string vehicles = DialogOf(rc, "IDD_VEHICLES");
    ASSERT_FALSE(vehicles.empty());
    EXPECT_NE(vehicles.find("DIALOGEX 0, 0, " + std::to_string(kVehicleDlgWidthDlu) + ", " +
                            std::to_string(kVehicleDlgHeightDlu)),
              std::string::npos);
    EXPECT_NE(vehicles.find("CAPTION \"" + std::string(kVehiclesText) + "\""), std::string::npos);
    for (const ControlTemplate& c : {kVehiclePrompt, kVehicleList, kVehicleChoose, kVehicleAdd,
                                     kVehicleRename, kVehicleRemove, kVehicleClose}) {
        EXPECT_EQ(PlaceOf(vehicles, c), (std::vector<int>{c.x, c.y, c.width, c.height})) << c.name;
    }
    EXPECT_NE(vehicles.find("IDC_VEHICLE_LIST, \"SysListView32\""), std::string::npos);
    EXPECT_NE(vehicles.find("LVS_SINGLESEL"), std::string::npos);

    const std::string edit = DialogOf(rc, "IDD_VEHICLE_EDIT");
    ASSERT_FALSE(edit.empty());
    EXPECT_NE(edit.find("DIALOGEX 0, 0, " + std::to_string(kVehicleEditWidthDlu) + ", " +
                        std::to_string(kVehicleEditHeightDlu)),
              std::string::npos);
    const std::pair<const char*, const char*> controls[] = {{kVehicleNameLabel, "-1"},
                                                            {kVehicleNoteLabel, "-1"},
                                                            {kPortOkText, "IDOK"},
                                                            {kPortCancelText, "IDCANCEL"}};
    for (const auto& [text, id] : controls) {
        EXPECT_TRUE(std::regex_search(
            edit, std::regex("\"" + std::string(text) + "\"\\s*,\\s*" + id + "\\s*,")))
            << text;
    }
    for (const char* field : {"IDC_VEHICLE_NAME", "IDC_VEHICLE_NOTE"}) {
        EXPECT_TRUE(std::regex_search(edit, std::regex(std::string("EDITTEXT\\s+") + field + ",")))
            << field;
    }
}

// The chooser's template: the shared caption, and each command's text on its shared id.
TEST(ResourceScript, ThePortChooserHasTheSharedCaptionAndCommands) {
    const std::string rc = ResourceScript();
    const std::size_t start = rc.find("IDD_PORTS DIALOGEX");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = rc.find("\nEND", start);
    ASSERT_NE(end, std::string::npos);
    const std::string dialog = rc.substr(start, end - start);
    EXPECT_NE(dialog.find("CAPTION \"" + std::string(kPortDlgCaption) + "\""), std::string::npos);
    const std::pair<const char*, const char*> commands[] = {
        {kPortRefreshText, "IDC_PORT_REFRESH"},
        {kPortFindText, "IDC_PORT_FIND"},
        {kPortHardwareText, "IDC_PORT_HARDWARE"},
        {kPortOkText, "IDOK"},
        {kPortCancelText, "IDCANCEL"}};
    for (const auto& [text, id] : commands) {
        EXPECT_TRUE(std::regex_search(
            dialog, std::regex("\"" + std::string(text) + "\"\\s*,\\s*" + id + "\\s*,")))
            << text;
    }
    EXPECT_NE(dialog.find("IDC_PORT_LIST, \"SysListView32\""), std::string::npos);
    EXPECT_NE(dialog.find("IDC_PORT_STATUS"), std::string::npos);
}

TEST(ResourceScript, TheAboutBoxAndMenuTextsAreTheSharedOnes) {
    const std::string rc = ResourceScript();
    for (const char* text : {kAboutCaption, kAboutName, kAboutNotice, kAboutMenuText}) {
        EXPECT_NE(rc.find("\"" + std::string(text) + "\""), std::string::npos) << text;
    }
    EXPECT_NE(rc.find("FONT 9, \"ＭＳ Ｐゴシック\""), std::string::npos);
}

// The history window's template says what the Qt window says beside its table.
TEST(ResourceScript, TheHistoryWindowsControlsAreTheSharedOnes) {
    const std::string rc = ResourceScript();
    const auto start = rc.find("IDD_HISTORY DIALOGEX");
    ASSERT_NE(start, std::string::npos);
    const std::string history = rc.substr(start, rc.find("\nEND", start) - start);
    EXPECT_NE(history.find("CAPTION \"" + std::string(kHistoryTitle) + "\""), std::string::npos);
    const std::pair<const char*, const char*> controls[] = {
        {kHistoryRangeText, "IDC_HISTORY_RANGE"},
        {kHistoryRangeSeparator, "-1"},
        {kHistoryUnitsText, "-1"},
        {kHistoryExportText, "IDC_HISTORY_EXPORT"},
        {kExportForAppText, "IDC_HISTORY_EXPORT_APP"},
        {kHistoryCloseText, "IDCANCEL"},
        {kSaveChartText, "IDC_HISTORY_SAVE_CHART"},
        {kHistoryVehicleLabel, "-1"}};
    for (const auto& [text, id] : controls) {
        const std::regex statement("\"" + std::string(text) + "\"\\s*,\\s*" + id + "\\s*,");
        EXPECT_TRUE(std::regex_search(history, statement)) << text;
    }
    // The vehicle selector: a list to choose from, not a text to type.
    EXPECT_TRUE(std::regex_search(
        history, std::regex("COMBOBOX\\s+IDC_HISTORY_VEHICLE,[^\\n]*CBS_DROPDOWNLIST")));
}

// The history's saves stand in a row left to right in their Tab order, the fuel apps' beside the
// CSV one, none over another.
TEST(ResourceScript, TheHistoryWindowsSavesAreInARowInTabOrder) {
    const std::string history = DialogOf(ResourceScript(), "IDD_HISTORY");
    ASSERT_FALSE(history.empty());
    const std::regex button(
        "\"[^\"]*\"\\s*,\\s*(\\w+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)");
    std::size_t lastAt = 0;
    int lastRight = 0;
    int row = -1;
    for (const char* id :
         {"IDC_HISTORY_EXPORT", "IDC_HISTORY_EXPORT_APP", "IDC_HISTORY_SAVE_CHART", "IDCANCEL"}) {
        const std::size_t at = history.find(std::string(", ") + id + ",");
        ASSERT_NE(at, std::string::npos) << id;
        EXPECT_GT(at, lastAt) << id << " is out of the Tab order";
        lastAt = at;
        const std::size_t lineStart = history.rfind('\n', at) + 1;
        const std::string line = history.substr(lineStart, history.find('\n', at) - lineStart);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, button)) << line;
        const int x = std::stoi(m[2]), y = std::stoi(m[3]), width = std::stoi(m[4]);
        if (row < 0) row = y;
        EXPECT_EQ(y, row) << id << " is not in the saves' row";
        EXPECT_GT(x, lastRight) << id << " overlaps the button before it";
        lastRight = x + width;
    }
}

}  // namespace
}  // namespace odomei
