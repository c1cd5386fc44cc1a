#include "data/RecordSheet.h"

#include <cstring>

#include "data/Logbook.h"
#include "platform/Dates.h"

namespace odomei {
namespace {

// A length byte of this value is followed by the length in four bytes; every text the meter and
// the list make is far shorter.
constexpr unsigned char kLongText = 0xFF;
constexpr std::size_t kLongLengthBytes = 4;

}  // namespace

std::optional<Price> RecordFigures::PriceEntered() const {
    return hasPrice ? std::optional<Price>(Price{priceKind, priceAmount}) : std::nullopt;
}

std::optional<std::int64_t> RecordFigures::Odometer() const {
    return OdometerKnown() ? std::optional<std::int64_t>(odometer) : std::nullopt;
}

RecordFigures FiguresOf(const LogbookRecord& r) {
    RecordFigures f;
    f.id = r.id;
    f.distance = r.distance;
    f.fuel = r.fuel;
    f.correction = r.correction;
    f.refuel = r.refuel;
    if (r.odometer) f.odometer = *r.odometer;
    if (r.price) {
        f.hasPrice = true;
        f.priceKind = r.price->kind;
        f.priceAmount = r.price->amount;
    }
    if (r.isoDate) {
        if (const auto day = DayNumber(*r.isoDate)) f.day = static_cast<std::int32_t>(*day);
    }
    f.imported = r.imported;
    f.odometerGiven = r.odometerGiven;
    return f;
}

std::string_view RecordSheet::At(std::uint32_t at, std::size_t skip) const {
    std::size_t p = at;
    for (std::size_t t = 0;; ++t) {
        std::size_t length = static_cast<unsigned char>(m_texts[p++]);
        if (length == kLongText) {
            std::uint32_t longLength = 0;
            std::memcpy(&longLength, m_texts.data() + p, kLongLengthBytes);
            length = longLength;
            p += kLongLengthBytes;
        }
        if (t == skip) return std::string_view(m_texts).substr(p, length);
        p += length;
    }
}

std::uint32_t RecordSheet::Append(const std::string_view* texts, std::size_t count) {
    const auto at = static_cast<std::uint32_t>(m_texts.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view text = texts[i];
        if (text.size() < kLongText) {
            m_texts.push_back(static_cast<char>(text.size()));
        } else {
            m_texts.push_back(static_cast<char>(kLongText));
            const auto length = static_cast<std::uint32_t>(text.size());
            m_texts.append(reinterpret_cast<const char*>(&length), kLongLengthBytes);
        }
        m_texts.append(text);
    }
    return at;
}

std::string RecordSheet::Text(std::size_t i, RecordText which) const {
    const RecordFigures& f = m_figures[i];
    if (which == RecordText::kDate) {
        if (f.dateAt != RecordFigures::kNoText) return std::string(At(f.dateAt, 0));
        return f.Dated() ? MeterDateText(CivilFromDays(f.day)) : std::string();
    }
    if (f.textAt == RecordFigures::kNoText) return {};
    return std::string(At(f.textAt, static_cast<std::size_t>(which) - 1));
}

RecordRow RecordSheet::Row(std::size_t i) const {
    auto text = [&](RecordText t) { return Text(i, t); };
    return {text(RecordText::kDate),       text(RecordText::kDistance), text(RecordText::kFuel),
            text(RecordText::kCorrection), text(RecordText::kRefuel),   text(RecordText::kError)};
}

std::optional<std::string> RecordSheet::IsoDate(std::size_t i) const {
    if (!m_figures[i].Dated()) return std::nullopt;
    return odomei::IsoDate(m_figures[i].day);
}

std::optional<std::string> RecordSheet::GapFoundAt(std::size_t i) const {
    if (!m_figures[i].GapBefore()) return std::nullopt;
    return m_gaps[static_cast<std::size_t>(m_figures[i].gap)];
}

LogbookRecord RecordSheet::Record(std::size_t i, std::string firstRead) const {
    const RecordFigures& f = m_figures[i];
    LogbookRecord r;
    r.id = f.id;
    r.texts = Row(i);
    r.isoDate = IsoDate(i);
    r.distance = f.distance;
    r.fuel = f.fuel;
    r.correction = f.correction;
    r.refuel = f.refuel;
    r.imported = f.imported;
    r.firstRead = std::move(firstRead);
    r.gapBefore = GapFoundAt(i);
    r.price = f.PriceEntered();
    r.odometer = f.Odometer();
    r.odometerGiven = f.odometerGiven;
    return r;
}

void RecordSheet::Reserve(std::size_t records, std::size_t textBytes) {
    m_figures.reserve(records);
    m_texts.reserve(textBytes);
}

void RecordSheet::Add(RecordFigures figures, std::string_view dateText,
                      const std::string_view* figureTexts) {
    // A real date's text is the date written as the meter's, digit for digit (the logbook's
    // ISO date is read from it): made again when it is asked for.
    figures.dateAt = figures.Dated() ? RecordFigures::kNoText : Append(&dateText, 1);
    figures.textAt =
        figureTexts != nullptr ? Append(figureTexts, kFigureTextCount) : RecordFigures::kNoText;
    m_figures.push_back(figures);
}

void RecordSheet::Add(RecordFigures figures, const RecordRow& texts) {
    const std::string_view date = texts.m_strDate;
    const std::string_view figureTexts[kFigureTextCount] = {texts.m_strDistance, texts.m_strFuel,
                                                            texts.m_strCorrection,
                                                            texts.m_strRefuel, texts.m_strError};
    // A LogbookRecord's date's text may be any: kept as it is.
    figures.dateAt = Append(&date, 1);
    figures.textAt = Append(figureTexts, kFigureTextCount);
    m_figures.push_back(figures);
}

void RecordSheet::SetTexts(std::size_t i, const RecordRow& texts) {
    const std::string_view figureTexts[kFigureTextCount] = {texts.m_strDistance, texts.m_strFuel,
                                                            texts.m_strCorrection,
                                                            texts.m_strRefuel, texts.m_strError};
    m_figures[i].textAt = Append(figureTexts, kFigureTextCount);
}

std::int32_t RecordSheet::AddGap(std::string foundAt) {
    m_gaps.push_back(std::move(foundAt));
    return static_cast<std::int32_t>(m_gaps.size() - 1);
}

RecordSheet RecordSheet::FromRecords(const std::vector<LogbookRecord>& records) {
    RecordSheet sheet;
    sheet.Reserve(records.size(), records.size() * kRecordTextBytes);
    for (const LogbookRecord& r : records) {
        RecordFigures f = FiguresOf(r);
        if (r.gapBefore) f.gap = sheet.AddGap(*r.gapBefore);
        sheet.Add(f, r.texts);
    }
    return sheet;
}

DateRange::DateRange(std::string from, std::string to)
    : m_from(std::move(from)),
      m_to(std::move(to)),
      m_fromDay(DayNumber(m_from)),
      m_toDay(DayNumber(m_to)) {}

bool DateRange::Holds(const RecordFigures& r) const {
    if (m_from.empty() && m_to.empty()) return true;
    if (!r.Dated()) return false;
    auto within = [&r](const std::string& bound, const std::optional<std::int64_t>& day,
                       bool after) {
        if (bound.empty()) return true;
        if (day) return after ? r.day >= *day : r.day <= *day;
        const std::string date = odomei::IsoDate(r.day);
        return after ? date >= bound : date <= bound;
    };
    return within(m_from, m_fromDay, true) && within(m_to, m_toDay, false);
}

std::vector<std::uint32_t> AllOf(const RecordSheet& sheet) {
    std::vector<std::uint32_t> all(sheet.Size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint32_t>(i);
    return all;
}

}  // namespace odomei
