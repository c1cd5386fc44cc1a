// The files for the fuel apps, read back as each app's importer reads them: LubeLogger's header
// names matched case-insensitively and its numbers in the invariant culture, Spritmonitor's
// semicolons, German dates and decimal commas, Fuelio's sections and declared date format.
// Every field is compared with figures worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/AppExport.h"
#include "data/Logbook.h"
#include "platform/Dates.h"
#include "tests/LogbookSupport.h"

namespace odomei {
namespace {

// ---- Reading the files -----------------------------------------------------------------------

using Row = std::vector<std::string>;

// CSV as RFC 4180 has it: fields split at sep, a field in double quotes may hold the separator, a
// line break and doubled quotes; lines end in CR LF or LF. A quote anywhere else fails the test.
std::vector<Row> ReadCsv(const std::string& text, char sep) {
    std::vector<Row> rows;
    Row row;
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            EXPECT_TRUE(field.empty() && !wasQuoted) << "a quote inside a plain field";
            quoted = wasQuoted = true;
        } else if (c == sep) {
            row.push_back(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            if (c == '\r') ++i;
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            wasQuoted = false;
        } else {
            EXPECT_FALSE(wasQuoted) << "text after a closing quote";
            field += c;
        }
    }
    EXPECT_FALSE(quoted) << "a quoted field never closed";
    EXPECT_TRUE(field.empty() && row.empty()) << "the last line has no line end";
    return rows;
}

// A number with the decimal mark given, as hundredths; no sign but a leading minus, no thousands
// separator, at most two decimals. Nothing for an empty field.
std::optional<std::int64_t> Hundredths(const std::string& text, char mark) {
    if (text.empty()) return std::nullopt;
    const bool negative = text[0] == '-';
    std::int64_t whole = 0, fraction = 0;
    int decimals = -1;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == mark && decimals < 0) {
            decimals = 0;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && decimals < 2) {
            if (decimals < 0) {
                whole = whole * 10 + (c - '0');
            } else {
                fraction = fraction * 10 + (c - '0');
                ++decimals;
            }
        } else {
            ADD_FAILURE() << "not a number with '" << mark << "': " << text;
            return std::nullopt;
        }
    }
    if (decimals == 1) fraction *= 10;
    const std::int64_t value = whole * 100 + fraction;
    return negative ? -value : value;
}

// Maps a header's names to their columns, each name as match() makes it.
struct Header {
    std::map<std::string, std::size_t> columns;
    std::string (*match)(const std::string&);
    std::string Of(const Row& row, const std::string& name) const {
        const auto c = columns.find(match(name));
        EXPECT_NE(c, columns.end()) << "no column " << name;
        return c == columns.end() || c->second >= row.size() ? std::string() : row[c->second];
    }
};

std::string Exact(const std::string& name) { return name; }
std::string Lower(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

Header HeaderOf(const Row& names, std::string (*match)(const std::string&)) {
    Header h{{}, match};
    for (std::size_t i = 0; i < names.size(); ++i) h.columns[match(names[i])] = i;
    return h;
}

// A fill-up as an app keeps it.
struct Fill {
    std::string isoDate;
    std::optional<std::int64_t> odometer;  // hundredths of a km
    std::optional<std::int64_t> fuel;      // hundredths of a litre
    std::optional<std::int64_t> cost;      // hundredths
    bool full = false, missed = false;
    std::string notes;
    std::map<std::string, std::string> more;  // the format's other fields, by name
};

// LubeLogger's CSV import of gas records: header names trimmed and lower-cased, the invariant
// culture's numbers (its odometer an integer: the decimals cut off), IsFillToFull true for "1",
// "true" or "full" and MissedFuelUp for "1" or "true" (either lower-cased), every extrafield_
// column under the name after the prefix; a row without fuel is not imported.
std::vector<Fill> ReadLubeLogger(const std::string& text) {
    const auto rows = ReadCsv(text, ',');
    if (rows.empty()) return {};
    Row names = rows[0];
    for (std::string& n : names) {
        while (!n.empty() && n.back() == ' ') n.pop_back();
    }
    const Header h = HeaderOf(names, Lower);
    std::vector<Fill> fills;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        Fill f;
        f.isoDate = h.Of(rows[i], "Date");
        f.odometer = Hundredths(h.Of(rows[i], "Odometer"), '.').value_or(-1) / 100 * 100;
        f.fuel = Hundredths(h.Of(rows[i], "FuelConsumed"), '.');
        f.cost = Hundredths(h.Of(rows[i], "Cost"), '.');
        const std::string full = Lower(h.Of(rows[i], "IsFillToFull"));
        f.full = full == "1" || full == "true" || full == "full";
        const std::string missed = Lower(h.Of(rows[i], "MissedFuelUp"));
        f.missed = missed == "1" || missed == "true";
        f.notes = h.Of(rows[i], "Notes");
        f.more["tags"] = h.Of(rows[i], "Tags");
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (Lower(names[c]).rfind("extrafield_", 0) == 0) {
                f.more[names[c].substr(11)] = rows[i][c];
            }
        }
        EXPECT_TRUE(f.cost.has_value()) << "LubeLogger's import fails on a row without a cost";
        if (f.fuel.value_or(0) > 0) fills.push_back(f);
    }
    return fills;
}

// Spritmonitor's CSV of fuelings: semicolons, its English export's column names, dates
// DD.MM.YYYY and decimal commas.
std::vector<Fill> ReadSpritmonitor(const std::string& text) {
    const auto rows = ReadCsv(text, ';');
    if (rows.empty()) return {};
    EXPECT_EQ(rows[0].size(), 20u);
    const Header h = HeaderOf(rows[0], Exact);
    std::vector<Fill> fills;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].size(), rows[0].size());
        Fill f;
        const std::string date = h.Of(rows[i], "Date");
        EXPECT_TRUE(date.size() == 10 && date[2] == '.' && date[5] == '.') << date;
        f.isoDate = date.substr(6, 4) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2);
        f.odometer = Hundredths(h.Of(rows[i], "Odometer"), ',');
        f.fuel = Hundredths(h.Of(rows[i], "Quantity"), ',');
        f.cost = Hundredths(h.Of(rows[i], "Total price"), ',');
        f.notes = h.Of(rows[i], "Note");
        for (const char* name :
             {"Trip", "Currency", "Type", "Consumption", "BC-Consumption", "BC-Quantity"}) {
            f.more[name] = h.Of(rows[i], name);
        }
        for (const char* name : {"Tires", "Roads", "Driving style", "Fuel", "BC-Speed", "Company",
                                 "Country", "Area", "Location"}) {
            EXPECT_EQ(h.Of(rows[i], name), "") << name;
        }
        fills.push_back(f);
    }
    return fills;
}

// Fuelio's backup: lines "## Name" begin its blocks (quoted or not); each block is a header line
// and rows. The vehicle's units and date format say how the log reads.
struct FuelioFile {
    std::map<std::string, std::string> vehicle;
    std::vector<Fill> log;
};

FuelioFile ReadFuelio(const std::string& text) {
    const auto rows = ReadCsv(text, ',');
    std::map<std::string, std::vector<Row>> blocks;
    std::string block;
    for (const Row& row : rows) {
        if (row.size() == 1 && row[0].rfind("## ", 0) == 0) {
            block = row[0].substr(3);
            EXPECT_EQ(blocks.count(block), 0u) << block;
            blocks[block];
        } else {
            EXPECT_FALSE(block.empty()) << "a line before the first block";
            blocks[block].push_back(row);
        }
    }
    FuelioFile file;
    const auto& v = blocks["Vehicle"];
    EXPECT_EQ(v.size(), 2u) << "one vehicle a file";
    if (v.size() < 2) return file;
    EXPECT_EQ(v[0].size(), v[1].size());
    for (std::size_t i = 0; i < v[0].size() && i < v[1].size(); ++i)
        file.vehicle[v[0][i]] = v[1][i];
    // What the log below is written in: km, litres, L/100km, ISO dates.
    EXPECT_EQ(file.vehicle["DistUnit"], "0");
    EXPECT_EQ(file.vehicle["FuelUnit"], "0");
    EXPECT_EQ(file.vehicle["ConsumptionUnit"], "0");
    EXPECT_EQ(file.vehicle["ImportCSVDateFormat"], "yyyy-MM-dd");
    const auto& log = blocks["Log"];
    EXPECT_FALSE(log.empty());
    if (log.empty()) return file;
    EXPECT_EQ(log[0].size(), 18u);
    const Header h = HeaderOf(log[0], Exact);
    for (std::size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].size(), log[0].size());
        Fill f;
        f.isoDate = h.Of(log[i], "Data");
        EXPECT_TRUE(ParseIsoDate(f.isoDate)) << f.isoDate;
        f.odometer = Hundredths(h.Of(log[i], "Odo (km)"), '.');
        f.fuel = Hundredths(h.Of(log[i], "Fuel (litres)"), '.');
        f.cost = Hundredths(h.Of(log[i], "Price (optional)"), '.');
        f.full = h.Of(log[i], "Full") == "1";
        f.missed = h.Of(log[i], "Missed") == "1";
        f.notes = h.Of(log[i], "Notes (optional)");
        for (const char* name :
             {"VolumePrice", "UniqueId", "l/100km (optional)", "City (optional)", "TankNumber"}) {
            f.more[name] = h.Of(log[i], name);
        }
        file.log.push_back(f);
    }
    return file;
}

// ---- The records -----------------------------------------------------------------------------

// A refuel as Logbook::Records gives it.
LogbookRecord Refuel(std::int64_t id, const std::string& iso, std::int64_t distance,
                     std::int64_t fuel, std::int64_t correction, std::int64_t refuel,
                     const std::string& error) {
    LogbookRecord r;
    r.id = id;
    r.isoDate = iso;
    r.texts = {iso.substr(0, 4) + "年" + iso.substr(5, 2) + "月" + iso.substr(8, 2) + "日",
               "",
               "",
               "",
               "",
               error};
    r.distance = distance;
    r.fuel = fuel;
    r.correction = correction;
    r.refuel = refuel;
    return r;
}

Price PerLitre(std::int64_t amount) { return {PriceKind::kPerLitre, amount}; }

// Three stretches. The first has its reading given at 2024-05-01 (48 210.00 km); the second
// follows a gap and has none; the third follows another and has its reading given at 2024-08-03
// (60 000.50 km). 2024-06-08 has no price, 2024-08-20 no fuel refilled.
class AppExport : public ::testing::Test {
protected:
    void SetUp() override {
        auto add = [&](LogbookRecord r, std::optional<std::int64_t> odo, std::optional<Price> p) {
            r.odometer = odo;
            r.price = p;
            records.push_back(r);
        };
        add(Refuel(1, "2024-05-01", 41260, 3085, 10000, 3120, "1.12"), 4821000, PerLitre(16850));
        add(Refuel(2, "2024-05-20", 38810, 2990, 10000, 2975, "-0.50"), 4821000 + 38810,
            Price{PriceKind::kTotal, 500000});
        add(Refuel(3, "2024-06-08", 45590, 3298, 9950, 3340, "1.26"), 4859810 + 45590, {});
        add(Refuel(4, "2024-07-01", 40230, 3041, 10000, 3010, "-1.03"), {}, PerLitre(17000));
        records.back().gapBefore = "2024-07-02 09:00:00";
        add(Refuel(5, "2024-07-15", 39999, 2700, 10000, 2850, "5.26"), {}, PerLitre(17100));
        add(Refuel(6, "2024-08-03", 41000, 3000, 10000, 3100, "3.23"), 6000050, PerLitre(17200));
        records.back().gapBefore = "2024-08-10 18:30:00";
        records.back().odometerGiven = true;
        add(Refuel(7, "2024-08-20", 1250, 0, 10000, 0, "-999.99"), 6000050 + 1250, {});
        add(Refuel(8, "2024-09-01", 40000, 2600, 10250, 2800, "7.14"), 6001300 + 40000,
            PerLitre(16990));
        vehicle.name = "軽トラ \"白\", 2号";
        vehicle.note = "品川 480\nあ 12-34";
        vehicle.currency = "JPY";
    }
    // The records dated from..to, as a range gives them.
    std::vector<LogbookRecord> Range(const std::string& from, const std::string& to) const {
        std::vector<LogbookRecord> in;
        for (const auto& r : records) {
            if (*r.isoDate >= from && *r.isoDate <= to) in.push_back(r);
        }
        return in;
    }
    static std::vector<std::string> Dates(const AppFile& file, Lack lack) {
        std::vector<std::string> dates;
        for (const auto& l : file.leftOut) {
            if (l.lack == lack) dates.push_back(l.isoDate);
        }
        return dates;
    }
    std::vector<LogbookRecord> records;
    Vehicle vehicle;
};

// The meter's figures of refuels 1 and 8 in words: economy 41260 / 3085 = 13.374 km/L and
// 40000 / 2600 = 15.385 km/L.
const std::string kNote1 =
    "メーター: 消費燃料 30.85 L、燃費 13.37 km/L、補正値 100.00 %、測定誤差 1.12 %";
const std::string kNote8 =
    "メーター: 消費燃料 26.00 L、燃費 15.38 km/L、補正値 102.50 %、測定誤差 7.14 %";

TEST_F(AppExport, LubeLoggerTakesEveryRefuelWithAnOdometerAndAPrice) {
    const AppFile file = ExportForApp(FuelApp::kLubeLogger, vehicle, records);
    const auto fills = ReadLubeLogger(file.text);
    ASSERT_EQ(fills.size(), 4u);
    EXPECT_EQ(file.written, 4);
    // 2024-06-08 has no price, the second stretch no reading, 2024-08-20 no fuel.
    EXPECT_EQ(Dates(file, Lack::kNoPrice), std::vector<std::string>{"2024-06-08"});
    EXPECT_EQ(Dates(file, Lack::kNoOdometer),
              (std::vector<std::string>{"2024-07-01", "2024-07-15"}));
    EXPECT_EQ(Dates(file, Lack::kNoFuel), std::vector<std::string>{"2024-08-20"});
    EXPECT_EQ(file.leftOut[0].date, "2024年06月08日");

    // Costs: 31.20 L at 168.50 = 5257.20; 5000.00 paid; 31.00 L at 172.00 = 5332.00; 28.00 L at
    // 169.90 = 4757.20. Odometers in whole km, rounded: 48 598.10 is 48 598, 60 000.50 is 60 001.
    struct Expected {
        const char* date;
        std::int64_t km, fuel, cost;
        bool missed;
        const char *meterFuel, *correction, *error;
    };
    const Expected expected[] = {
        {"2024-05-01", 48210, 3120, 525720, false, "30.85", "100.00", "1.12"},
        {"2024-05-20", 48598, 2975, 500000, false, "29.90", "100.00", "-0.50"},
        // After a gap, and after the refuels left out of the file.
        {"2024-08-03", 60001, 3100, 533200, true, "30.00", "100.00", "3.23"},
        // After 2024-08-20, left out.
        {"2024-09-01", 60413, 2800, 475720, true, "26.00", "102.50", "7.14"},
    };
    for (std::size_t i = 0; i < fills.size(); ++i) {
        SCOPED_TRACE(expected[i].date);
        EXPECT_EQ(fills[i].isoDate, expected[i].date);
        EXPECT_EQ(fills[i].odometer, expected[i].km * 100);
        EXPECT_EQ(fills[i].fuel, expected[i].fuel);
        EXPECT_EQ(fills[i].cost, expected[i].cost);
        EXPECT_TRUE(fills[i].full);
        EXPECT_EQ(fills[i].missed, expected[i].missed);
        EXPECT_EQ(fills[i].more.at("MeterFuel"), expected[i].meterFuel);
        EXPECT_EQ(fills[i].more.at("MeterCorrection"), expected[i].correction);
        EXPECT_EQ(fills[i].more.at("MeterError"), expected[i].error);
        EXPECT_EQ(fills[i].more.at("tags"), "");
    }
    EXPECT_EQ(fills[0].notes, kNote1);
    EXPECT_EQ(fills[3].notes, kNote8);
    // The header's names, in the file's case: LubeLogger lower-cases them itself.
    EXPECT_EQ(file.text.substr(0, file.text.find("\r\n")),
              "Date,Odometer,FuelConsumed,Cost,IsFillToFull,MissedFuelUp,Notes,Tags,"
              "extrafield_MeterFuel,extrafield_MeterCorrection,extrafield_MeterError");
}

TEST_F(AppExport, SpritmonitorTakesEveryRefuelWithFuelInGermanNumbers) {
    const AppFile file = ExportForApp(FuelApp::kSpritmonitor, vehicle, records);
    const auto fills = ReadSpritmonitor(file.text);
    ASSERT_EQ(fills.size(), 7u);
    ASSERT_EQ(file.leftOut.size(), 1u);
    EXPECT_EQ(file.leftOut[0].lack, Lack::kNoFuel);
    EXPECT_EQ(file.leftOut[0].date, "2024年08月20日");

    // Consumption by refuel and by meter, L/100km: 3120 / 412.60 = 7.562 and 3085 / 412.60 =
    // 7.477; 2975 / 388.10 = 7.666, 2990 / 388.10 = 7.704; 3340 / 455.90 = 7.326, 3298 / 455.90 =
    // 7.234; 3010 / 402.30 = 7.482, 3041 / 402.30 = 7.559; 2850 / 399.99 = 7.125, 2700 / 399.99 =
    // 6.750; 3100 / 410.00 = 7.561, 3000 / 410.00 = 7.317; 2800 / 400.00 = 7.00, 2600 / 400.00 =
    // 6.50. Costs: 30.10 L at 170.00 = 5117.00, 28.50 L at 171.00 = 4873.50.
    struct Expected {
        const char* date;
        std::optional<std::int64_t> km;
        std::int64_t fuel;
        std::optional<std::int64_t> cost;
        const char *type, *trip, *consumption, *meter, *meterFuel;
    };
    const Expected expected[] = {
        {"2024-05-01", 48210, 3120, 525720, "3", "412,60", "7,56", "7,48", "30,85"},
        {"2024-05-20", 48598, 2975, 500000, "1", "388,10", "7,67", "7,70", "29,90"},
        {"2024-06-08", 49054, 3340, {}, "1", "455,90", "7,33", "7,23", "32,98"},
        {"2024-07-01", {}, 3010, 511700, "0", "402,30", "7,48", "7,56", "30,41"},
        {"2024-07-15", {}, 2850, 487350, "1", "399,99", "7,13", "6,75", "27,00"},
        {"2024-08-03", 60001, 3100, 533200, "0", "410,00", "7,56", "7,32", "30,00"},
        {"2024-09-01", 60413, 2800, 475720, "0", "400,00", "7,00", "6,50", "26,00"},
    };
    for (std::size_t i = 0; i < fills.size(); ++i) {
        SCOPED_TRACE(expected[i].date);
        EXPECT_EQ(fills[i].isoDate, expected[i].date);
        EXPECT_EQ(fills[i].odometer,
                  expected[i].km ? std::optional(*expected[i].km * 100) : std::nullopt);
        EXPECT_EQ(fills[i].fuel, expected[i].fuel);
        EXPECT_EQ(fills[i].cost, expected[i].cost);
        EXPECT_EQ(fills[i].more.at("Currency"), "JPY");
        EXPECT_EQ(fills[i].more.at("Type"), expected[i].type);
        EXPECT_EQ(fills[i].more.at("Trip"), expected[i].trip);
        EXPECT_EQ(fills[i].more.at("Consumption"), expected[i].consumption);
        EXPECT_EQ(fills[i].more.at("BC-Consumption"), expected[i].meter);
        EXPECT_EQ(fills[i].more.at("BC-Quantity"), expected[i].meterFuel);
    }
    EXPECT_EQ(fills[0].notes,
              "メーター: 消費燃料 30,85 L、燃費 13,37 km/L、補正値 100,00 %、測定誤差 1,12 %");
}

TEST_F(AppExport, FuelioTakesEveryRefuelWithAnOdometerUnderTheVehicle) {
    const AppFile file = ExportForApp(FuelApp::kFuelio, vehicle, records);
    const FuelioFile read = ReadFuelio(file.text);
    // The name and note come back whole: a quote, a comma, a line break and Japanese text.
    EXPECT_EQ(read.vehicle.at("Name"), "軽トラ \"白\", 2号");
    EXPECT_EQ(read.vehicle.at("Description"), "品川 480\nあ 12-34");
    EXPECT_EQ(Dates(file, Lack::kNoOdometer),
              (std::vector<std::string>{"2024-07-01", "2024-07-15"}));
    EXPECT_EQ(Dates(file, Lack::kNoFuel), std::vector<std::string>{"2024-08-20"});
    ASSERT_EQ(read.log.size(), 5u);
    EXPECT_EQ(file.written, 5);

    // Price per litre of the 5000.00 paid for 29.75 L: 168.067.
    struct Expected {
        const char* date;
        std::int64_t odometer, fuel;
        std::optional<std::int64_t> cost;
        bool missed;
        const char *perLitre, *id;
    };
    const Expected expected[] = {
        {"2024-05-01", 4821000, 3120, 525720, false, "168.50", "1"},
        {"2024-05-20", 4859810, 2975, 500000, false, "168.07", "2"},
        {"2024-06-08", 4905400, 3340, {}, false, "", "3"},  // written without a price
        {"2024-08-03", 6000050, 3100, 533200, true, "172.00", "6"},
        {"2024-09-01", 6041300, 2800, 475720, true, "169.90", "8"},
    };
    for (std::size_t i = 0; i < read.log.size(); ++i) {
        SCOPED_TRACE(expected[i].date);
        const Fill& f = read.log[i];
        EXPECT_EQ(f.isoDate, expected[i].date);
        EXPECT_EQ(f.odometer, expected[i].odometer);
        EXPECT_EQ(f.fuel, expected[i].fuel);
        EXPECT_EQ(f.cost, expected[i].cost);
        EXPECT_TRUE(f.full);
        EXPECT_EQ(f.missed, expected[i].missed);
        EXPECT_EQ(f.more.at("VolumePrice"), expected[i].perLitre);
        EXPECT_EQ(f.more.at("UniqueId"), expected[i].id);
        EXPECT_EQ(f.more.at("l/100km (optional)"), "");  // Fuelio works it out
        EXPECT_EQ(f.more.at("TankNumber"), "1");
    }
    EXPECT_EQ(read.log[0].notes, kNote1);
    EXPECT_EQ(read.log[4].notes, kNote8);
}

TEST_F(AppExport, ARangeStartsWithTheFirstFillOfSpritmonitorAndNoMissedOne) {
    // From 2024-05-20: the first refuel written has nothing before it in the file.
    const auto from = Range("2024-05-20", "2024-06-08");
    const auto sprit = ReadSpritmonitor(ExportForApp(FuelApp::kSpritmonitor, vehicle, from).text);
    ASSERT_EQ(sprit.size(), 2u);
    EXPECT_EQ(sprit[0].isoDate, "2024-05-20");
    EXPECT_EQ(sprit[0].more.at("Type"), "3");
    EXPECT_EQ(sprit[1].more.at("Type"), "1");
    const auto lube = ReadLubeLogger(ExportForApp(FuelApp::kLubeLogger, vehicle, from).text);
    ASSERT_EQ(lube.size(), 1u);  // 2024-06-08 has no price
    EXPECT_FALSE(lube[0].missed);
    // A range that begins after a gap: first, not invalid.
    const auto second = ReadSpritmonitor(
        ExportForApp(FuelApp::kSpritmonitor, vehicle, Range("2024-07-01", "2024-07-31")).text);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].more.at("Type"), "3");
    EXPECT_EQ(second[1].more.at("Type"), "1");
    // A range whose first refuel is left out: the next is first, and missed where the app keeps
    // a missed mark.
    const auto late = Range("2024-08-20", "2024-09-30");
    EXPECT_EQ(ReadSpritmonitor(ExportForApp(FuelApp::kSpritmonitor, vehicle, late).text)[0].more.at(
                  "Type"),
              "3");
    EXPECT_TRUE(ReadFuelio(ExportForApp(FuelApp::kFuelio, vehicle, late).text).log.at(0).missed);
}

TEST_F(AppExport, NothingWritableGivesNoTextAndSaysWhatToEnter) {
    const auto stretch = Range("2024-07-01", "2024-07-31");
    for (const FuelApp app : {FuelApp::kLubeLogger, FuelApp::kFuelio}) {
        const AppFile file = ExportForApp(app, vehicle, stretch);
        EXPECT_EQ(file.text, "");
        EXPECT_EQ(file.written, 0);
        EXPECT_EQ(Dates(file, Lack::kNoOdometer),
                  (std::vector<std::string>{"2024-07-01", "2024-07-15"}));
        const auto why = LeftOutReason(app, file, vehicle.name);
        ASSERT_TRUE(why);
        EXPECT_NE(why->en.find("No refuel could be written"), std::string::npos) << why->en;
        EXPECT_NE(why->en.find(FuelAppTitle(app)), std::string::npos);
        EXPECT_NE(why->en.find("2024-07-01, 2024-07-15"), std::string::npos) << why->en;
        // The command to give the reading, the name quoted for the shell.
        EXPECT_NE(why->en.find("odomei-cli vehicles set \"軽トラ \\\"白\\\", 2号\" --odometer KM "
                               "--at 2024-07-01"),
                  std::string::npos)
            << why->en;
        EXPECT_NE(why->en.find("odometer column"), std::string::npos);
        EXPECT_NE(why->ja.find("2024年07月01日、2024年07月15日"), std::string::npos) << why->ja;
        EXPECT_NE(why->ja.find("オドメーター"), std::string::npos);
    }
    // No records at all: nothing written, nothing left out, nothing to say.
    const AppFile none = ExportForApp(FuelApp::kSpritmonitor, vehicle, {});
    EXPECT_EQ(none.text, "");
    EXPECT_FALSE(LeftOutReason(FuelApp::kSpritmonitor, none, vehicle.name));
}

TEST_F(AppExport, TheReasonCountsEachLackWithItsDatesAndCommand) {
    // A record the meter gave no date cannot go to any app.
    LogbookRecord undated = Refuel(9, "2024-09-09", 30000, 2000, 10000, 2100, "4.76");
    undated.isoDate.reset();
    undated.texts.m_strDate = "-";
    records.push_back(undated);
    const AppFile file = ExportForApp(FuelApp::kLubeLogger, vehicle, records);
    EXPECT_EQ(file.leftOut.size(), 5u);
    EXPECT_EQ(Dates(file, Lack::kNoDate), std::vector<std::string>{""});
    const auto why = LeftOutReason(FuelApp::kLubeLogger, file, "car");
    ASSERT_TRUE(why);
    EXPECT_EQ(why->en.substr(0, why->en.find('\n')),
              "5 refuels were left out of the LubeLogger file (4 written).");
    EXPECT_NE(why->en.find("No price (2024-06-08): enter it with odomei-cli price 2024-06-08 "
                           "--per-litre P (or --total T) --vehicle car"),
              std::string::npos)
        << why->en;
    EXPECT_NE(why->en.find("No fuel refilled (2024-08-20)"), std::string::npos);
    EXPECT_NE(why->en.find("No date (1 record)"), std::string::npos);
    EXPECT_NE(why->ja.find("価格がありません（2024年06月08日）"), std::string::npos) << why->ja;
    EXPECT_NE(why->ja.find("日付のない記録が1件"), std::string::npos);
    // Many dates of one kind: the first ten, then how many more.
    std::vector<LogbookRecord> unpriced;
    for (int day = 1; day <= 12; ++day) {
        auto r = Refuel(day, "2024-10-" + std::string(day < 10 ? "0" : "") + std::to_string(day),
                        30000, 2000, 10000, 2100, "4.76");
        r.odometer = 100000 * day;
        unpriced.push_back(r);
    }
    const auto many = LeftOutReason(FuelApp::kLubeLogger,
                                    ExportForApp(FuelApp::kLubeLogger, vehicle, unpriced), {});
    ASSERT_TRUE(many);
    EXPECT_NE(many->en.find("2024-10-09, 2024-10-10 and 2 more)"), std::string::npos) << many->en;
    EXPECT_EQ(many->en.find("--vehicle"), std::string::npos);
}

// Through a real logbook: the reading given at the first refuel and the prices entered come back
// from Records, and the file holds them.
TEST_F(LogbookFile, AnExportOfTheStoredRefuelsHoldsTheirReadingsAndPrices) {
    auto book = OpenBook();
    Failure error;
    const std::vector<RecordRow> rows = {
        {"2015年01月09日", "412.60", "30.85", "100.00", "31.20", "1.12"},
        {"2015年01月30日", "388.10", "29.90", "100.00", "29.75", "-0.50"},
        {"2015年02月18日", "455.90", "32.98", "99.50", "33.40", "1.26"},
    };
    ASSERT_TRUE(book->Import(rows, "history.csv", {}, kAt, &error)) << FailureLine(error);
    auto stored = book->Records({}, &error);
    ASSERT_EQ(stored.size(), 3u);
    ASSERT_TRUE(book->SetOdometer({}, stored[0].id, 4821000, &error)) << FailureLine(error);
    ASSERT_TRUE(book->SetPrice({}, stored[0].id, Price{PriceKind::kPerLitre, 16850}, &error));
    ASSERT_TRUE(book->SetPrice({}, stored[2].id, Price{PriceKind::kTotal, 600000}, &error));
    stored = book->Records({}, &error);
    const auto vehicles = book->Vehicles(&error);
    ASSERT_EQ(vehicles.size(), 1u);

    // 48 210.00 + 388.10 + 455.90 = 49 054.00; the second refuel has no price, so the third one
    // follows a refuel the file lacks.
    const AppFile file = ExportForApp(FuelApp::kLubeLogger, vehicles[0], stored);
    const auto fills = ReadLubeLogger(file.text);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].isoDate, "2015-01-09");
    EXPECT_EQ(fills[0].odometer, 4821000);
    EXPECT_EQ(fills[0].cost, 525720);
    EXPECT_FALSE(fills[0].missed);
    EXPECT_EQ(fills[1].isoDate, "2015-02-18");
    EXPECT_EQ(fills[1].odometer, 4905400);
    EXPECT_EQ(fills[1].cost, 600000);
    EXPECT_TRUE(fills[1].missed);
    EXPECT_EQ(fills[1].more.at("MeterCorrection"), "99.50");
    ASSERT_EQ(file.leftOut.size(), 1u);
    EXPECT_EQ(file.leftOut[0].date, "2015年01月30日");
    EXPECT_EQ(file.leftOut[0].isoDate, "2015-01-30");
    EXPECT_EQ(file.leftOut[0].lack, Lack::kNoPrice);
    // Fuelio takes all three under the vehicle's name, the first vehicle's Japanese one.
    const FuelioFile fuelio = ReadFuelio(ExportForApp(FuelApp::kFuelio, vehicles[0], stored).text);
    EXPECT_EQ(fuelio.vehicle.at("Name"), kFirstVehicleName);
    ASSERT_EQ(fuelio.log.size(), 3u);
    EXPECT_EQ(fuelio.log[1].odometer, 4859810);
    EXPECT_EQ(fuelio.log[1].cost, std::nullopt);
}

}  // namespace
}  // namespace odomei
