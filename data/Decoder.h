// The meter's 216-byte answer turned into values (records and the firmware version) and into the
// display texts derived from them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/RecordTable.h"

namespace odomei {

constexpr std::size_t kBlockSize = 216;
constexpr std::size_t kRecordSize = 14;
constexpr std::size_t kFirstRecordOffset = 1;  // byte 0 only takes part in the check byte
constexpr std::size_t kVersionOffset = 211;    // four version characters, pairs reversed
constexpr std::size_t kCheckByteOffset = 215;
// A record's year nibble counts from this year.
constexpr int kMeterFirstYear = 2000;

using MeasurementBlock = std::span<const std::uint8_t, kBlockSize>;
using RecordBytes = std::span<const std::uint8_t, kRecordSize>;

// One record's fields, read little-endian from its 14 bytes.
struct MeasurementRecord {
    std::array<std::uint8_t, kRecordSize> raw{};  // the bytes as the meter sent them
    std::int32_t fuelCount = 0;                   // ten-millionths of a litre, before correction
    std::uint32_t distanceCount = 0;              // steps of 0.0003925 km
    std::uint16_t correction = 0;                 // hundredths of a percent (10000 is 100.00 %)
    std::uint16_t refuel = 0;                     // hundredths of a litre
    std::uint8_t day = 0;
    std::uint8_t yearMonth = 0;  // high nibble: year - kMeterFirstYear; low nibble: month

    static MeasurementRecord From(RecordBytes bytes);
};

// A verified block as values: the non-empty records in block order and the version text.
struct MeterReading {
    std::array<std::uint8_t, kBlockSize> block{};
    std::vector<MeasurementRecord> records;
    std::string version;  // UTF-8
};

// The reading of a block. Never fails: every byte pattern has a meaning.
MeterReading DecodeReading(MeasurementBlock block);

// The six texts of one record, as the list shows them.
RecordRow RowOf(const MeasurementRecord& record);

// Writes the reading's records into rows 1 to n of the table (whose count must be 0) and raises
// its count by one for each.
void FillTable(const MeterReading& reading, RecordTable& table);

// The record's date as "YYYY-MM-DD", or nothing when the record has no date or its fields do
// not make a real date.
std::optional<std::string> IsoDate(const MeasurementRecord& record);

// The date text of a record's two date bytes: "20YY年MM月DD日" with the nibbles and the day as
// they are (no range check), or "-" for the two patterns of a record without a date.
std::string DateText(std::uint8_t yearMonth, std::uint8_t day);

// Every figure of a record as the list writes it: a minus where the value is below zero (also
// when its hundredths are all zero), whole units without a leading zero, a point, two digits.
std::string FigureText(bool negative, std::uint64_t hundredths);

// True for the two patterns of an unused record: all zero, or twelve 0xFF then two zero bytes.
bool IsEmptyRecord(RecordBytes bytes);

// The six texts of one record.
void DecodeRecord(const MeasurementRecord& record, RecordRow& row);

// Writes the non-empty records, in block order, into rows 1 to n of the table (whose count must
// be 0), raises its count by one for each, and returns the version text (UTF-8).
std::string DecodeBlock(MeasurementBlock block, RecordTable& table);

// The exclusive-or of bytes 0 to 214, which the meter puts in byte 215.
std::uint8_t BlockCheck(MeasurementBlock block);

// "%3.2f" as the meter's figures are shown: the value written to 17 significant digits, then
// rounded at the second decimal with a third decimal of 5 or more raising the magnitude.
std::string FormatFixed2(double value);

}  // namespace odomei
