// The files the program writes must be the same bytes on Linux and on Windows, whose code page
// 932 differs from glibc's CP932 in places. These tests run in both builds against one golden
// file, written from the Linux build (ODOMEI_UPDATE_GOLDEN=1 writes it anew).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "data/CsvExport.h"
#include "data/Decoder.h"
#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "link/FilePaths.h"
#include "link/MeterSession.h"
#include "link/ReadExchange.h"
#include "log/CommLog.h"
#include "platform/Text.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

std::string DataFile(const std::string& name) { return std::string(ODOMEI_TEST_DATA) + "/" + name; }

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

MeterReading SampleReading() {
    const std::string bytes = ReadBytes(DataFile("sample_block.bin"));
    EXPECT_EQ(bytes.size(), kBlockSize);
    std::array<std::uint8_t, kBlockSize> block{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kBlockSize), block.begin());
    return DecodeReading(block);
}

// Everything the program turns into CP932: its messages, captions and log texts, and what the
// decoder makes of the sample block.
std::vector<std::string> ProgramTexts() {
    std::vector<std::string> texts = {
        kAppTitle,
        kExit.text,
        kList.text,
        kRead.text,
        kSave.text,
        kClear.text,
        kHistory.text,
        kVersion.text,
        kAboutMenuText,
        kCloseMenuText,
        kHistoryMenuText,
        kAboutCaption,
        kAboutName,
        kAboutNotice,
        kAskExit,
        kNothingToClear,
        kAskClear,
        kAskRead,
        kNothingToSave,
        kCsvTypeDescription,
        SavedText("燃費データ.csv"),
        kStartBanner,
        kNoValidDataText,
        PortFailureText("COM1"),
        PortFailureText("COM9"),
        kNoWorkingFolderText,
        kLogbookWriteFailedText,
        kLogbookOpenFailedText,
        kLogbookGapText,
        kGapMarkerText,
        kGapSummaryText,
        kCsvHeader,
        CsvFailureText(CsvResult::kOpenFailed),
        CsvFailureText(CsvResult::kWriteFailed),
        kExportForAppText,
        kPriceProblemText,
        kOdometerProblemText,
        kHistoryEditFailedText,
        OdometerUnknownText(15),
        NothingForAppText("Fuelio"),
        // Characters where the two systems' tables differ, which the program writes alike.
        "¢£¥¬—‖‾−〜",
        "～∥－￢①ⅰ㈱髙﨑",
    };
    for (const Column& c : kColumns) texts.emplace_back(c.caption);
    for (const char* t : kWidestTexts) texts.emplace_back(t);
    for (auto o :
         {ExchangeOutcome::kStxFailed, ExchangeOutcome::kTimedOut, ExchangeOutcome::kNakFailed,
          ExchangeOutcome::kBccError, ExchangeOutcome::kAckFailed}) {
        texts.emplace_back(ExchangeFailureText(o));
    }
    for (bool per100km : {false, true}) {
        for (const std::string& c : HistoryCaptions(per100km)) texts.push_back(c);
    }
    const MeterReading reading = SampleReading();
    texts.push_back(reading.version);
    std::vector<LogbookRecord> stored;
    for (const MeasurementRecord& record : reading.records) {
        const RecordRow row = RowOf(record);
        texts.insert(texts.end(), {row.m_strDate, row.m_strDistance, row.m_strFuel,
                                   row.m_strCorrection, row.m_strRefuel, row.m_strError});
        LogbookRecord r;
        r.texts = row;
        r.distance = ParseHundredths(row.m_strDistance).value_or(0);
        r.fuel = ParseHundredths(row.m_strFuel).value_or(0);
        r.correction = ParseHundredths(row.m_strCorrection).value_or(0);
        r.refuel = ParseHundredths(row.m_strRefuel).value_or(0);
        stored.push_back(r);
    }
    texts.push_back(LogbookSummaryText(Summarize(stored), false));
    texts.push_back(LogbookSummaryText(Summarize(stored), true));
    return texts;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

TEST(Cp932Golden, TheProgramsTextsAreTheSameBytesOnEverySystem) {
    std::string dump;
    for (const std::string& text : ProgramTexts()) {
        const auto bytes = Utf8ToCp932(text);
        ASSERT_TRUE(bytes.has_value()) << text;
        dump += Hex(*bytes) + "\n";
        // And back again to the same text, but for the characters that share their bytes with
        // another: those come back as the other.
        EXPECT_EQ(Cp932ToUtf8(*bytes).value_or("?"), text.find("¢") == 0 ? "￠￡\\￢―∥~－～" : text)
            << text;
    }
    const std::string golden = DataFile("cp932_texts.hex");
    if (std::getenv("ODOMEI_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(golden, std::ios::binary) << dump;
    }
    EXPECT_EQ(dump, ReadBytes(golden));
}

TEST(Cp932Golden, TheSampleBlockSavesAsTheGoldenCsv) {
    RecordTable table;
    FillTable(SampleReading(), table);
    EXPECT_EQ(table.m_nRecordCount, 15);
    EXPECT_EQ(CsvContent(table), ReadBytes(DataFile("sample_history.csv")));
}

TEST(Cp932Golden, WhatHasNoFormIsRefusedOnEverySystem) {
    // No CP932 form: Windows would best-fit some ("©" to "c"), and map its private ones.
    for (const char* text : {"©", "€", "\u00C0", "\u0080", "\uF8F0", "\uF8F3", "😀"}) {
        EXPECT_FALSE(Utf8ToCp932(text).has_value()) << text;
    }
    // Bytes that are no CP932 text: single bytes Windows alone takes, a lead byte without its
    // second byte, a second byte out of range.
    for (const std::string bytes : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF", "a\x81", "\x81\x20"}) {
        EXPECT_FALSE(Cp932ToUtf8(bytes).has_value()) << Hex(bytes);
    }
    // Where a byte 0x80 or 0xA0 is the second byte of a pair, it is text.
    EXPECT_EQ(Cp932ToUtf8("\x81\x80").value_or("?"), "÷");
    EXPECT_EQ(Cp932ToUtf8("\x81\xA0").value_or("?"), "□");
    EXPECT_EQ(Cp932ToUtf8("\x5C\x7E").value_or("?"), "\\~");
}

}  // namespace
}  // namespace odomei
