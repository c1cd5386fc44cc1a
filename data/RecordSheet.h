// One vehicle's records as the history holds them: each record's figures as numbers, in the
// logbook's order, and the texts the list shows packed into one buffer. The date's text is made
// from the date where the record has a real one (the logbook stores it so, digit for digit); the
// five figures' texts may be left out, to be given later for the records shown (SetTexts). A
// million records take about 90 MB so, where as many LogbookRecords would take 450.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Prices.h"
#include "data/RecordTable.h"

namespace odomei {

struct LogbookRecord;

// The six texts of a record, in the list's (and RecordRow's) order.
enum class RecordText { kDate, kDistance, kFuel, kCorrection, kRefuel, kError };
constexpr int kRecordTextCount = 6;
// The figures' texts of a record (distance, fuel, correction, refuel, error), and what they and
// their lengths take at most, as a rule.
constexpr std::size_t kFigureTextCount = 5;
constexpr std::size_t kRecordTextBytes = 40;

// A record's figures: what a LogbookRecord holds, as numbers.
struct RecordFigures {
    static constexpr std::int32_t kNoDay = std::numeric_limits<std::int32_t>::min();
    static constexpr std::int64_t kNoOdometer = -1;
    static constexpr std::int32_t kNoGap = -1;

    std::int64_t id = 0;          // the order in which records were first stored
    std::int64_t readId = 0;      // the read that first brought it
    std::int64_t distance = 0;    // hundredths of a km
    std::int64_t fuel = 0;        // hundredths of a litre, as the meter measured (corrected)
    std::int64_t correction = 0;  // hundredths of a percent
    std::int64_t refuel = 0;      // hundredths of a litre, as refilled
    std::int64_t odometer = kNoOdometer;  // hundredths of a km, where known (LogbookRecord's)
    std::int64_t priceAmount = 0;         // where hasPrice: the price as entered
    std::int32_t day = kNoDay;            // days since 1970-01-01 of a real date
    std::int32_t gap = kNoGap;  // refuels may have been lost before it: the sheet's gap number
    // Where its texts are in the sheet's buffer: the date's where it has no real date, the five
    // figures' once they are there (kNoText: not yet).
    static constexpr std::uint32_t kNoText = UINT32_MAX;
    std::uint32_t dateAt = kNoText;
    std::uint32_t textAt = kNoText;
    PriceKind priceKind = PriceKind::kPerLitre;
    bool hasPrice = false;
    bool imported = false;  // from a CSV file: its bytes are not known
    bool odometerGiven = false;

    bool Dated() const { return day != kNoDay; }
    bool GapBefore() const { return gap != kNoGap; }
    bool OdometerKnown() const { return odometer != kNoOdometer; }
    std::optional<Price> PriceEntered() const;
    std::optional<std::int64_t> Odometer() const;
};

// A LogbookRecord's figures (no texts, no gap number).
RecordFigures FiguresOf(const LogbookRecord& r);

class RecordSheet {
public:
    std::size_t Size() const { return m_figures.size(); }
    bool Empty() const { return m_figures.empty(); }
    const RecordFigures& operator[](std::size_t i) const { return m_figures[i]; }
    RecordFigures& operator[](std::size_t i) { return m_figures[i]; }
    const std::vector<RecordFigures>& Figures() const { return m_figures; }
    std::vector<RecordFigures>& Figures() { return m_figures; }

    // Record i's text, its six as a row, its ISO date (where it has a real date), and the time of
    // the read that found the gap before it (where there is one). The five figures' texts are
    // empty until the sheet has them (HasTexts).
    std::string Text(std::size_t i, RecordText which) const;
    bool HasTexts(std::size_t i) const { return m_figures[i].textAt != RecordFigures::kNoText; }
    RecordRow Row(std::size_t i) const;
    std::optional<std::string> IsoDate(std::size_t i) const;
    std::optional<std::string> GapFoundAt(std::size_t i) const;
    // Record i whole; firstRead is the time of the read that brought it.
    LogbookRecord Record(std::size_t i, std::string firstRead = {}) const;

    void Reserve(std::size_t records, std::size_t textBytes);
    // Appends a record: its figures (dateAt and textAt are set here), the date's text (kept where
    // the record has no real date) and, where given, the five figures' texts (kFigureTextCount
    // of them, distance first).
    void Add(RecordFigures figures, std::string_view dateText,
             const std::string_view* figureTexts = nullptr);
    void Add(RecordFigures figures, const RecordRow& texts);
    // Record i's five figures' texts, given later (the date's of texts is not looked at).
    void SetTexts(std::size_t i, const RecordRow& texts);
    // A gap's read time, kept once; its number for RecordFigures::gap.
    std::int32_t AddGap(std::string foundAt);

    // The same records and gaps as these LogbookRecords, in their order.
    static RecordSheet FromRecords(const std::vector<LogbookRecord>& records);

private:
    std::vector<RecordFigures> m_figures;
    // Each record's texts, one after the other, each after its length: one byte, or for a text of
    // kLongText bytes or more that byte's mark and four bytes.
    std::string m_texts;
    std::vector<std::string> m_gaps;

    // Appends count texts to m_texts; where the first starts.
    std::uint32_t Append(const std::string_view* texts, std::size_t count);
    // The text after skip others from at.
    std::string_view At(std::uint32_t at, std::size_t skip) const;
};

// Dates from..to ("YYYY-MM-DD", inclusive; empty: no bound), as the history window and the command
// line choose records by. Only a dated record lies in a range with a bound; a bound that is no
// real date is compared as the text it is with the record's ISO date.
class DateRange {
public:
    DateRange(std::string from, std::string to);
    bool Holds(const RecordFigures& r) const;

private:
    std::string m_from, m_to;
    std::optional<std::int64_t> m_fromDay, m_toDay;
};

// Every record of a sheet, in order: the choice its summaries and charts are made of.
std::vector<std::uint32_t> AllOf(const RecordSheet& sheet);

}  // namespace odomei
