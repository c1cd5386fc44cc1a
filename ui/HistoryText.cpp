#include "ui/HistoryText.h"

#include <algorithm>

#include "data/Decoder.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

std::string Hundredths(std::int64_t v) { return FormatFixed2(static_cast<double>(v) / 100.0); }

std::string AmountOrEmpty(const std::optional<std::int64_t>& hundredths) {
    return hundredths ? AmountText(*hundredths) : std::string();
}

// The odometer in whole km, to the nearest.
std::string OdometerText(const std::optional<std::int64_t>& hundredths) {
    return hundredths ? OdometerKmText(*hundredths) : std::string();
}

// A figure in hundredths of the currency, as the list writes amounts.
std::string MoneyText(const std::optional<double>& hundredths) {
    return hundredths ? FormatFixed2(*hundredths / 100.0) : std::string("-");
}

}  // namespace

std::vector<std::string> HistoryCaptions(bool per100km, const std::string& currency) {
    std::vector<std::string> captions;
    for (const Column& c : kColumns) captions.emplace_back(c.caption);
    const std::string unit = per100km ? kLitresPer100KmUnit : kKmPerLitreUnit;
    captions.push_back(unit + kByRefuelSuffix);
    captions.push_back(unit + kByMeterSuffix);
    captions.push_back(PricePerLitreCaption(currency));
    captions.push_back(CostCaption(currency));
    captions.push_back(kOdometerCaption);
    return captions;
}

std::string HistoryCellText(const RecordSheet& sheet, std::size_t i, int column, int number,
                            bool per100km) {
    const RecordFigures& r = sheet[i];
    switch (column) {
        case 0: return std::to_string(number);
        case 1: return std::string(sheet.Text(i, RecordText::kDate));
        case 2: return std::string(sheet.Text(i, RecordText::kDistance));
        case 3: return std::string(sheet.Text(i, RecordText::kFuel));
        case 4: return std::string(sheet.Text(i, RecordText::kCorrection));
        case 5: return std::string(sheet.Text(i, RecordText::kRefuel));
        case 6: return std::string(sheet.Text(i, RecordText::kError));
        case 7: return EconomyText(KmPerLitre(r), per100km);
        case 8: return EconomyText(KmPerLitreByMeter(r), per100km);
        case kPricePerLitreColumn: return AmountOrEmpty(PricePerLitreOf(r));
        case kCostColumn: return AmountOrEmpty(CostOf(r));
        case kOdometerColumn: return OdometerText(r.Odometer());
        default: return {};
    }
}

std::vector<std::string> HistoryGapRowTexts() {
    std::vector<std::string> texts(kHistoryColumnCount);
    texts[1] = kGapMarkerText;
    return texts;
}

std::string LogbookSummaryText(const LogbookSummary& s, bool per100km,
                               const std::string& currency) {
    const std::string unit = per100km ? kLitresPer100KmUnit : kKmPerLitreUnit;
    auto percent = [](const std::optional<double>& v) {
        return v ? FormatFixed2(*v) + " %" : std::string("-");
    };
    std::string text = "記録 " + std::to_string(s.records) + " 件";
    if (s.withoutRefuel > 0 || s.withoutFuel > 0) {
        text += "（";
        if (s.withoutRefuel > 0) text += "給油量0の " + std::to_string(s.withoutRefuel) + " 件";
        if (s.withoutRefuel > 0 && s.withoutFuel > 0) text += "、";
        if (s.withoutFuel > 0) text += "消費燃料0の " + std::to_string(s.withoutFuel) + " 件";
        text += "は比率に含めず）";
    }
    text += "　総走行距離 " + Hundredths(s.distance) + " km　総給油量 " + Hundredths(s.refuel) +
            " L\n燃費 " + EconomyText(s.kmPerLitre, per100km) + " " + unit + "（燃費計 " +
            EconomyText(s.kmPerLitreByMeter, per100km) + " " + unit + "）　燃費計の誤差 " +
            percent(s.errorPercent) + "（ばらつき " + percent(s.errorSpread) + "）\n推奨補正値 " +
            percent(s.suggestedCorrection ? std::optional<double>(*s.suggestedCorrection / 100.0)
                                          : std::nullopt) +
            "（" + std::to_string(s.correctionRecords) + " 件の記録から）";
    text += "\n";
    if (s.priced > 0) {
        text += CostSummaryText(AmountText(s.cost), MoneyText(s.costPerKm),
                                MoneyText(s.costPerMonth), s.pricedMonths,
                                MoneyText(s.pricePerLitre), currency, s.priced, s.records);
    } else {
        text += NoPriceYetText(currency);
    }
    if (s.gaps > 0) {
        text += "\n" + std::string(kGapMarkerText) + " " + std::to_string(s.gaps) +
                " か所: " + kGapSummaryText;
    }
    for (const FactorPeriod& p : s.periods) {
        text +=
            "\n補正値 " + Hundredths(p.correction) + " %（" + p.firstDate + kHistoryRangeSeparator +
            p.lastDate + "、" + std::to_string(p.records) + " 件）: 燃費計の誤差 " +
            percent(p.errorPercent) + "　推奨補正値 " +
            percent(p.suggestedCorrection ? std::optional<double>(*p.suggestedCorrection / 100.0)
                                          : std::nullopt);
    }
    return text;
}

std::string HistoryStatusText(const LogbookSummary& shown, bool per100km, bool logbookEmpty,
                              const std::string& failure, int odometerUnknown,
                              const std::string& currency) {
    if (!failure.empty()) return std::string(kLogbookOpenFailedText) + "\n" + failure;
    if (logbookEmpty) return kNoRecordsYetText;
    std::string text = LogbookSummaryText(shown, per100km, currency);
    // Where no reading was ever given, the odometer is simply not in use: nothing to say.
    if (odometerUnknown > 0 && odometerUnknown < shown.records) {
        text += "\n" + OdometerUnknownText(odometerUnknown);
    }
    return text;
}

}  // namespace odomei
