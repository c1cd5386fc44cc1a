#include "data/AppExport.h"

#include <cctype>
#include <cstdint>
#include <string_view>

#include "data/CsvImport.h"
#include "data/Prices.h"
#include "data/TextsJa.h"

namespace odomei {
namespace {

// Each file's fixed text. LubeLogger matches its header names case-insensitively in any order
// and keeps an extrafield_ column's value under the name after the prefix; Spritmonitor's
// columns are those of its own export in English; Fuelio's blocks are those of its backups.
constexpr const char* kLubeLoggerHeader =
    "Date,Odometer,FuelConsumed,Cost,IsFillToFull,MissedFuelUp,Notes,Tags,extrafield_MeterFuel,"
    "extrafield_MeterCorrection,extrafield_MeterError";
constexpr const char* kSpritmonitorHeader =
    "Date;Odometer;Trip;Quantity;Total price;Currency;Type;Tires;Roads;Driving style;Fuel;Note;"
    "Consumption;BC-Consumption;BC-Quantity;BC-Speed;Company;Country;Area;Location";
constexpr const char* kFuelioVehicleHeader =
    "\"Name\",\"Description\",\"DistUnit\",\"FuelUnit\",\"ConsumptionUnit\","
    "\"ImportCSVDateFormat\",\"VIN\",\"Insurance\",\"Plate\",\"Make\",\"Model\",\"Year\","
    "\"TankCount\",\"Tank1Type\",\"Tank2Type\",\"Active\",\"Tank1Capacity\",\"Tank2Capacity\","
    "\"FuelUnitTank2\",\"FuelConsumptionTank2\"";
constexpr const char* kFuelioLogHeader =
    "\"Data\",\"Odo (km)\",\"Fuel (litres)\",\"Full\",\"Price (optional)\","
    "\"l/100km (optional)\",\"latitude (optional)\",\"longitude (optional)\",\"City (optional)\","
    "\"Notes (optional)\",\"Missed\",\"TankNumber\",\"FuelType\",\"VolumePrice\","
    "\"StationID (optional)\",\"ExcludeDistance\",\"UniqueId\",\"TankCalc\"";
// The vehicle's units (0: km, litres, L/100km) and the log's date format, then what ODOMEI does
// not know of the car, as Fuelio's backups write it: no VIN, insurance, plate, make, model or
// year; one tank of petrol (100) of unknown capacity; the vehicle active.
constexpr const char* kFuelioUnits = "\"0\",\"0\",\"0\",\"yyyy-MM-dd\"";
constexpr const char* kFuelioVehicleRest =
    "\"\",\"\",\"\",\"\",\"\",\"\",\"1\",\"100\",\"0\",\"1\",\"0.0\",\"0.0\",\"0\",\"0\"";
// A log row's fields that say nothing of the refuel, as Fuelio writes them for a fill-up
// entered without them: no location, the first tank, no fuel grade chosen, no station.
constexpr const char* kFuelioNoPlace = "\"0.0\",\"0.0\",\"\"";
constexpr const char* kFuelioTank = "\"1\",\"-1\"";
constexpr const char* kFuelioNoStation = "\"0\",\"0.0\"";
constexpr const char* kFuelioTankCalc = "\"0.0\"";

constexpr const char* kCrLf = "\r\n";
constexpr const char* kLf = "\n";  // Fuelio's backups end their lines so

// Spritmonitor's fill types.
constexpr int kSpritInvalid = 0;  // the refuel before it is missing: no consumption
constexpr int kSpritFull = 1;
constexpr int kSpritFirst = 3;  // nothing to measure it from

constexpr std::int64_t kHundred = 100;
constexpr std::size_t kMaxDatesListed = 10;  // a message names at most so many dates of a kind

// a / b rounded half away from zero, b > 0.
std::int64_t RoundedQuotient(std::int64_t a, std::int64_t b) {
    const std::int64_t magnitude = ((a < 0 ? -a : a) * 2 + b) / (2 * b);
    return a < 0 ? -magnitude : magnitude;
}

std::string TwoDigits(std::int64_t n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// Hundredths with two decimals after mark, no separators: "1234.50", "-0.25".
std::string Fixed2(std::int64_t hundredths, char mark) {
    const std::int64_t magnitude = hundredths < 0 ? -hundredths : hundredths;
    return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / kHundred) + mark +
           TwoDigits(magnitude % kHundred);
}

// Fuelio quotes every field.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// A text as one field of a CSV line: in double quotes where it holds the separator, a quote or a
// line end.
std::string Field(std::string_view text, char separator) {
    if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos) {
        return std::string(text);
    }
    return Quoted(text);
}

// What the meter measured of a refuel: its fuel's economy (hundredths of km/L, and of L per
// 100 km), where it measured fuel over a distance; and the error it showed, in hundredths of a
// percent, where the list shows one.
std::optional<std::int64_t> MeterKmPerLitre(const LogbookRecord& r) {
    if (r.fuel <= 0 || r.distance <= 0) return std::nullopt;
    return RoundedQuotient(r.distance * kHundred, r.fuel);
}
std::optional<std::int64_t> MeterPer100Km(const LogbookRecord& r) {
    if (r.fuel <= 0 || r.distance <= 0) return std::nullopt;
    return RoundedQuotient(r.fuel * kHundred * kHundred, r.distance);
}
std::optional<std::int64_t> MeterError(const LogbookRecord& r) {
    return ParseHundredths(r.texts.m_strError);
}
// The consumption the refuel itself gives over the distance, in hundredths of L per 100 km.
std::optional<std::int64_t> RefuelPer100Km(const LogbookRecord& r) {
    if (r.distance <= 0) return std::nullopt;
    return RoundedQuotient(r.refuel * kHundred * kHundred, r.distance);
}

// The meter's figures in words, with the file's decimal mark, as the list names them.
std::string MeterNote(const LogbookRecord& r, char mark) {
    std::string note = "メーター: 消費燃料 " + Fixed2(r.fuel, mark) + " L";
    if (const auto economy = MeterKmPerLitre(r))
        note += "、燃費 " + Fixed2(*economy, mark) + " km/L";
    note += "、補正値 " + Fixed2(r.correction, mark) + " %";
    if (const auto error = MeterError(r)) note += "、測定誤差 " + Fixed2(*error, mark) + " %";
    return note;
}

// "DD.MM.YYYY" of "YYYY-MM-DD".
std::string GermanDate(const std::string& iso) {
    return iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4);
}

// What the app needs that the record lacks, the first of them; nothing when it can be written.
std::optional<Lack> LackOf(FuelApp app, const LogbookRecord& r) {
    if (r.refuel <= 0) return Lack::kNoFuel;
    if (!r.isoDate) return Lack::kNoDate;
    if (app == FuelApp::kSpritmonitor) return std::nullopt;
    if (!r.odometer) return Lack::kNoOdometer;
    if (app == FuelApp::kLubeLogger && !CostOf(r)) return Lack::kNoPrice;
    return std::nullopt;
}

// One refuel to write: missed where refuels before it are not in the file (lost before a gap,
// or left out of this one), so that the app measures nothing over the distance between.
struct Fill {
    const LogbookRecord* record;
    bool missed;
    bool first;
};

std::string LubeLoggerLine(const Fill& f) {
    const LogbookRecord& r = *f.record;
    const auto error = MeterError(r);
    return *r.isoDate + "," + OdometerKmText(*r.odometer) + "," + Fixed2(r.refuel, '.') + "," +
           Fixed2(*CostOf(r), '.') + ",True," + (f.missed ? "True" : "False") + "," +
           Field(MeterNote(r, '.'), ',') + ",," + Fixed2(r.fuel, '.') + "," +
           Fixed2(r.correction, '.') + "," + (error ? Fixed2(*error, '.') : "") + kCrLf;
}

std::string SpritmonitorLine(const Fill& f, const Vehicle& vehicle) {
    const LogbookRecord& r = *f.record;
    const auto cost = CostOf(r);
    const auto consumption = RefuelPer100Km(r);
    const auto meter = MeterPer100Km(r);
    const int type = f.first ? kSpritFirst : f.missed ? kSpritInvalid : kSpritFull;
    std::string line = GermanDate(*r.isoDate) + ";";
    line += (r.odometer ? OdometerKmText(*r.odometer) : "") + ";";
    line += Fixed2(r.distance, ',') + ";" + Fixed2(r.refuel, ',') + ";";
    line += (cost ? Fixed2(*cost, ',') : "") + ";" + Field(vehicle.currency, ';') + ";";
    line += std::to_string(type) + ";;;;;" + Field(MeterNote(r, ','), ';') + ";";
    line += (consumption ? Fixed2(*consumption, ',') : "") + ";";
    line += (meter ? Fixed2(*meter, ',') : "") + ";";
    line += (r.fuel > 0 ? Fixed2(r.fuel, ',') : "") + ";;;;;" + kCrLf;
    return line;
}

std::string FuelioLine(const Fill& f) {
    const LogbookRecord& r = *f.record;
    const auto cost = CostOf(r);
    const auto perLitre = PricePerLitreOf(r);
    std::string line = Quoted(*r.isoDate) + "," + Quoted(Fixed2(*r.odometer, '.')) + "," +
                       Quoted(Fixed2(r.refuel, '.')) + ",\"1\",";
    line += Quoted(cost ? Fixed2(*cost, '.') : "") + ",\"\"," + kFuelioNoPlace + ",";
    line += Quoted(MeterNote(r, '.')) + "," + Quoted(f.missed ? "1" : "0") + "," + kFuelioTank;
    line += "," + Quoted(perLitre ? Fixed2(*perLitre, '.') : "") + "," + kFuelioNoStation + ",";
    line += Quoted(std::to_string(r.id)) + "," + kFuelioTankCalc + kLf;
    return line;
}

std::string ShellWord(const std::string& text) {
    bool plain = !text.empty();
    for (const char c : text) {
        plain = plain &&
                (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.');
    }
    if (plain) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// The dates of one kind, as a list: at most kMaxDatesListed, then how many more.
std::string DateList(const std::vector<std::string>& dates, bool ja) {
    std::string list;
    for (std::size_t i = 0; i < dates.size() && i < kMaxDatesListed; ++i) {
        list += (i == 0 ? "" : ja ? "、" : ", ") + dates[i];
    }
    if (dates.size() > kMaxDatesListed) {
        const std::string more = std::to_string(dates.size() - kMaxDatesListed);
        list += ja ? "ほか" + more + "件" : " and " + more + " more";
    }
    return list;
}

}  // namespace

std::optional<FuelApp> FuelAppNamed(const std::string& name) {
    for (const FuelApp app : {FuelApp::kLubeLogger, FuelApp::kSpritmonitor, FuelApp::kFuelio}) {
        const std::string key = FuelAppKey(app);
        bool same = key.size() == name.size();
        for (std::size_t i = 0; same && i < key.size(); ++i) {
            same = std::tolower(static_cast<unsigned char>(name[i])) == key[i];
        }
        if (same) return app;
    }
    return std::nullopt;
}

const char* FuelAppKey(FuelApp app) {
    switch (app) {
        case FuelApp::kLubeLogger: return "lubelogger";
        case FuelApp::kSpritmonitor: return "spritmonitor";
        case FuelApp::kFuelio: return "fuelio";
    }
    return "";
}

const char* FuelAppTitle(FuelApp app) {
    switch (app) {
        case FuelApp::kLubeLogger: return "LubeLogger";
        case FuelApp::kSpritmonitor: return "Spritmonitor";
        case FuelApp::kFuelio: return "Fuelio";
    }
    return "";
}

const char* FuelAppSuffix(FuelApp) { return ".csv"; }

AppFile ExportForApp(FuelApp app, const Vehicle& vehicle,
                     const std::vector<LogbookRecord>& records) {
    AppFile file;
    std::string body;
    bool missing = false;  // a refuel before the next one written is not in the file
    for (const LogbookRecord& r : records) {
        if (const auto lack = LackOf(app, r)) {
            file.leftOut.push_back({r.texts.m_strDate, *lack, r.isoDate.value_or("")});
            missing = true;
            continue;
        }
        const Fill fill{&r, missing || r.gapBefore.has_value(), file.written == 0};
        switch (app) {
            case FuelApp::kLubeLogger: body += LubeLoggerLine(fill); break;
            case FuelApp::kSpritmonitor: body += SpritmonitorLine(fill, vehicle); break;
            case FuelApp::kFuelio: body += FuelioLine(fill); break;
        }
        ++file.written;
        missing = false;
    }
    if (file.written == 0) return file;
    switch (app) {
        case FuelApp::kLubeLogger: file.text = kLubeLoggerHeader + std::string(kCrLf) + body; break;
        case FuelApp::kSpritmonitor:
            file.text = kSpritmonitorHeader + std::string(kCrLf) + body;
            break;
        case FuelApp::kFuelio:
            file.text = std::string("\"## Vehicle\"") + kLf + kFuelioVehicleHeader + kLf +
                        Quoted(vehicle.name) + "," + Quoted(vehicle.note) + "," + kFuelioUnits +
                        "," + kFuelioVehicleRest + kLf + "\"## Log\"" + kLf + kFuelioLogHeader +
                        kLf + body;
            break;
    }
    return file;
}

std::optional<Reason> LeftOutReason(FuelApp app, const AppFile& file, const std::string& vehicle) {
    if (file.leftOut.empty()) return std::nullopt;
    const std::string title = FuelAppTitle(app);
    const std::string count = std::to_string(file.leftOut.size());
    const std::string written = std::to_string(file.written);
    Reason why;
    if (file.written == 0) {
        why.en = "No refuel could be written to a " + title + " file (" + count + " left out).";
        why.ja = title + "用のファイルに書ける給油がありません（" + count + "件）。";
    } else {
        why.en = count + (file.leftOut.size() == 1 ? " refuel was" : " refuels were") +
                 " left out of the " + title + " file (" + written + " written).";
        why.ja = title + "用のファイルに書けなかった給油が" + count + "件あります（書いた給油 " +
                 written + "件）。";
    }
    const std::string name = vehicle.empty() ? "" : ShellWord(vehicle);
    const std::string vehicleOption = vehicle.empty() ? "" : " --vehicle " + name;
    for (const Lack lack : {Lack::kNoOdometer, Lack::kNoPrice, Lack::kNoFuel, Lack::kNoDate}) {
        std::vector<std::string> iso, shown;
        for (const LeftOut& l : file.leftOut) {
            if (l.lack != lack) continue;
            iso.push_back(l.isoDate.empty() ? l.date : l.isoDate);
            shown.push_back(l.date);
        }
        if (iso.empty()) continue;
        const std::string at = iso.front();
        const std::string n = std::to_string(iso.size());
        switch (lack) {
            case Lack::kNoOdometer:
                why.en += "\nNo odometer reading (" + DateList(iso, false) +
                          "): give the odometer at one refuel of its stretch (after a gap, a "
                          "stretch needs its own reading), with odomei-cli vehicles set " +
                          (vehicle.empty() ? std::string("NAME") : name) + " --odometer KM --at " +
                          at + " or in the history window's odometer column.";
                why.ja += "\n総走行距離（オドメーター）の値がありません（" + DateList(shown, true) +
                          "）。その区間の給油の一つでオドメーターを入力してください（記録が欠けた"
                          "後の区間には、その区間での入力が必要です）。odomei-cli vehicles set " +
                          (vehicle.empty() ? std::string("NAME") : name) + " --odometer KM --at " +
                          at + " または履歴ウィンドウの「" + kOdometerCaption +
                          "」欄で入力できます。";
                break;
            case Lack::kNoPrice:
                why.en += "\nNo price (" + DateList(iso, false) +
                          "): enter it with odomei-cli price " + at +
                          " --per-litre P (or --total T)" + vehicleOption +
                          ", or in the history window's price column.";
                why.ja += "\n価格がありません（" + DateList(shown, true) + "）。odomei-cli price " +
                          at + " --per-litre 単価（または --total 合計）" + vehicleOption +
                          " または履歴ウィンドウの「単価」か「金額」の欄で入力してください。";
                break;
            case Lack::kNoFuel:
                why.en += "\nNo fuel refilled (" + DateList(iso, false) +
                          "): the meter recorded no refuel there, so there is no fill-up to write.";
                why.ja += "\n実給油量が0です（" + DateList(shown, true) +
                          "）。給油のない記録はアプリに書けません。";
                break;
            case Lack::kNoDate:
                why.en += "\nNo date (" + n + (iso.size() == 1 ? " record" : " records") +
                          "): the meter gave no date, and the app takes no fill-up without one.";
                why.ja +=
                    "\n日付のない記録が" + n + "件あります。日付のない給油はアプリに書けません。";
                break;
        }
    }
    return why;
}

}  // namespace odomei
