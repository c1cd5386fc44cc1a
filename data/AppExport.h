// The records as the fuel-logbook apps import them: LubeLogger's CSV, Spritmonitor's CSV and
// Fuelio's sectioned CSV, each in UTF-8 and in the exact shape the app's importer reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/Logbook.h"

namespace odomei {

enum class FuelApp { kLubeLogger, kSpritmonitor, kFuelio };

// The app's name as the command line takes it ("lubelogger", "spritmonitor", "fuelio") and as a
// window shows it ("LubeLogger", ...); the file name's suffix a save dialog proposes (".csv").
std::optional<FuelApp> FuelAppNamed(const std::string& name);
const char* FuelAppKey(FuelApp app);
const char* FuelAppTitle(FuelApp app);
const char* FuelAppSuffix(FuelApp app);

// A refuel the export left out, and why: what the app needs that the record lacks (the first of
// them, in this order: fuel refilled, a date, an odometer reading, a price).
enum class Lack { kNoFuel, kNoOdometer, kNoPrice, kNoDate };
struct LeftOut {
    std::string date;  // as the list shows it
    Lack lack = Lack::kNoFuel;
    std::string isoDate{};  // "YYYY-MM-DD", as the command line takes it; empty without a date
};

struct AppFile {
    std::string text;  // the file's whole content, UTF-8; empty when no refuel could be written
    int written = 0;   // refuels written
    std::vector<LeftOut> leftOut;
};

// The records of one vehicle, oldest first as Logbook::Records gives them (a range already
// applied), in the app's format. A refuel after an open gap is marked missed; every refuel is a
// full fill; the meter's own figures go where the format keeps them. A refuel lacking what the
// format needs is left out (LeftOut), never written with zeros or made-up figures.
AppFile ExportForApp(FuelApp app, const Vehicle& vehicle,
                     const std::vector<LogbookRecord>& records);

// What the export says of the refuels it left out, in both languages: how many, their dates, and
// what to enter and how (the odometer: `odomei-cli vehicles set NAME --odometer KM --at DATE` or
// the history window's odometer column; a price: `odomei-cli price DATE ...` or its price column).
// Nothing when none was left out.
std::optional<Reason> LeftOutReason(FuelApp app, const AppFile& file, const std::string& vehicle);

}  // namespace odomei
