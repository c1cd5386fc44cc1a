#include "data/Prices.h"

#include <cstdio>
#include <string_view>

#include "data/Decoder.h"
#include "data/Logbook.h"
#include "platform/Dates.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr std::int64_t kHundredths = 100;
// More digits than any amount or reading within its bound has: refused before they could overflow.
constexpr std::size_t kMaxDigits = 12;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Without a pair of double quotes around it, where it has them.
std::string_view Unquoted(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = TrimBlanks(text.substr(1, text.size() - 2));
    }
    return text;
}

template <typename T>
std::optional<T> Refuse(Reason* why, Reason reason) {
    if (why) *why = std::move(reason);
    return std::nullopt;
}

std::optional<std::int64_t> ParseAmount(std::string_view text, Reason* why) {
    text = TrimBlanks(text);
    if (text.empty()) {
        return Refuse<std::int64_t>(why, {"no price given", "価格が入力されていません"});
    }
    std::int64_t whole = 0, cents = 0;
    std::size_t i = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (i < kMaxDigits) whole = whole * 10 + (text[i] - '0');
    }
    const std::size_t wholeDigits = i;
    int decimals = 0;
    bool separated = false;
    if (wholeDigits > 0 && i < text.size() && (text[i] == '.' || text[i] == ',')) {
        separated = true;
        ++i;
        while (i < text.size() && IsDigit(text[i]) && decimals < 2) {
            cents = cents * 10 + (text[i++] - '0');
            ++decimals;
        }
    }
    if (wholeDigits == 0 || i != text.size() || (separated && decimals == 0)) {
        return Refuse<std::int64_t>(
            why, {"\"" + std::string(text) +
                      "\" is no price: digits with at most two decimals after a point or a "
                      "comma (168.50, 5432)",
                  "「" + std::string(text) +
                      "」は価格ではありません（数字で、小数点以下は2桁まで: 168.50、5432）"});
    }
    if (decimals == 1) cents *= 10;
    const std::int64_t amount =
        wholeDigits > kMaxDigits ? kMaxPriceAmount + 1 : whole * kHundredths + cents;
    if (amount <= 0) {
        return Refuse<std::int64_t>(why,
                                    {"a price must be above 0", "価格は0より大きくしてください"});
    }
    if (amount > kMaxPriceAmount) {
        const std::string most = AmountText(kMaxPriceAmount);
        return Refuse<std::int64_t>(
            why, {"a price can be at most " + most, "価格は" + most + "以下にしてください"});
    }
    return amount;
}

}  // namespace

std::optional<std::int64_t> ParsePriceAmount(const std::string& text, Reason* why) {
    return ParseAmount(text, why);
}

std::optional<std::int64_t> ParseOdometer(const std::string& text, Reason* why) {
    const std::string_view t = TrimBlanks(text);
    auto refuse = [&] {
        return Refuse<std::int64_t>(
            why, {"\"" + std::string(t) +
                      "\" is no odometer reading: whole km, in digits (48210 or 48 210)",
                  "「" + std::string(t) +
                      "」は走行距離計の値ではありません（km単位の整数: 48210、48 210）"});
    };
    if (t.empty()) {
        return Refuse<std::int64_t>(
            why, {"no odometer reading given", "走行距離計の値が入力されていません"});
    }
    // Groups after the first (of one to three digits) have three digits each, one space before.
    std::int64_t km = 0;
    std::size_t digits = 0, group = 0;
    bool grouped = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == ' ') {
            if (group == 0 || (grouped && group != 3) || group > 3) return refuse();
            grouped = true;
            group = 0;
            continue;
        }
        if (!IsDigit(t[i]) || ++digits > kMaxDigits) return refuse();
        km = km * 10 + (t[i] - '0');
        ++group;
    }
    if (grouped && group != 3) return refuse();
    if (km > kMaxOdometerKm) {
        const std::string most = std::to_string(kMaxOdometerKm);
        return Refuse<std::int64_t>(why, {"an odometer reading can be at most " + most + " km",
                                          "走行距離計の値は" + most + " km以下にしてください"});
    }
    return km * kHundredths;
}

std::string OdometerKmText(std::int64_t hundredths) {
    return std::to_string((hundredths + kHundredths / 2) / kHundredths);
}

std::string AmountText(std::int64_t hundredths) {
    const bool negative = hundredths < 0;
    const auto magnitude = negative ? 0 - static_cast<std::uint64_t>(hundredths)
                                    : static_cast<std::uint64_t>(hundredths);
    return FigureText(negative, magnitude);  // the list's own form of a figure
}

namespace {

// a * b / c rounded half away from zero, for a and b at or above 0 and c above 0.
std::int64_t RoundedRatio(std::int64_t a, std::int64_t b, std::int64_t c) {
    return (a * b * 2 + c) / (c * 2);
}

}  // namespace

std::optional<std::int64_t> CostOf(const RecordFigures& r) {
    if (!r.hasPrice) return std::nullopt;
    if (r.priceKind == PriceKind::kTotal) return r.priceAmount;
    if (r.refuel <= 0) return std::nullopt;
    // Per litre, and the refuel in hundredths of a litre.
    return RoundedRatio(r.priceAmount, r.refuel, kHundredths);
}

std::optional<std::int64_t> PricePerLitreOf(const RecordFigures& r) {
    if (!r.hasPrice) return std::nullopt;
    if (r.priceKind == PriceKind::kPerLitre) return r.priceAmount;
    if (r.refuel <= 0) return std::nullopt;
    return RoundedRatio(r.priceAmount, kHundredths, r.refuel);
}

std::optional<std::int64_t> CostOf(const LogbookRecord& r) { return CostOf(FiguresOf(r)); }

std::optional<std::int64_t> PricePerLitreOf(const LogbookRecord& r) {
    return PricePerLitreOf(FiguresOf(r));
}

std::optional<std::vector<StatementLine>> ParsePriceStatement(const std::string& text,
                                                              Reason* why) {
    std::string_view rest = text;
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        rest.remove_prefix(kByteOrderMark.size());
    }
    std::vector<StatementLine> lines;
    bool first = true;  // the first line that is not blank may be a header
    for (int number = 1; !rest.empty(); ++number) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (TrimBlanks(line).empty()) continue;
        const bool mayBeHeader = first;
        first = false;
        const std::string at = std::to_string(number);
        const auto comma = line.find(',');
        const std::string_view date = Unquoted(line.substr(0, comma));
        // A header is text: a line whose first field begins with no digit.
        if (mayBeHeader && (date.empty() || !IsDigit(date.front()))) continue;
        if (!ParseIsoDate(date)) {
            return Refuse<std::vector<StatementLine>>(
                why, {"line " + at + ": \"" + std::string(date) +
                          "\" is no date: each line is YYYY-MM-DD,price (2024-05-01,168.50)",
                      at + "行目: 「" + std::string(date) +
                          "」は日付ではありません（各行は YYYY-MM-DD,価格: 2024-05-01,168.50）"});
        }
        if (comma == std::string_view::npos) {
            return Refuse<std::vector<StatementLine>>(
                why, {"line " + at + ": no price after the date (YYYY-MM-DD,price)",
                      at + "行目: 日付の後に価格がありません（YYYY-MM-DD,価格）"});
        }
        Reason problem;
        const auto amount = ParseAmount(Unquoted(line.substr(comma + 1)), &problem);
        if (!amount) {
            return Refuse<std::vector<StatementLine>>(
                why, {"line " + at + ": " + problem.en, at + "行目: " + problem.ja});
        }
        lines.push_back({number, std::string(date), *amount});
    }
    if (lines.empty()) {
        return Refuse<std::vector<StatementLine>>(
            why, {"the statement holds no line of a date and a price (YYYY-MM-DD,price)",
                  "明細に日付と価格の行がありません（YYYY-MM-DD,価格）"});
    }
    return lines;
}

}  // namespace odomei
