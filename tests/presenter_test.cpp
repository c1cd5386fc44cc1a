// The windows' flow without a toolkit: the presenter on a recording view, reading the simulated
// meter on a pseudo-terminal, with the logbook and the files real.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>

#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "link/ReadExchange.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"
#include "ui/HistoryPresenter.h"
#include "ui/HistoryText.h"
#include "ui/MeterPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

using test::ReadBytes;

// Records what the presenter shows and answers its questions from a script (no answer left:
// the test fails).
class RecordingView : public MeterView, public HistoryView {
public:
    struct Box {
        std::string text;
        unsigned flags;
        std::string detail;
    };
    std::vector<Box> boxes;
    std::deque<int> answers;
    std::optional<std::string> saveAs;  // the path the save dialog chooses; none: cancelled
    std::vector<std::vector<std::string>> rows;
    std::string version;
    CommandState commands;
    int ended = 0, refreshed = 0, history = 0;
    bool busy = false, sawBusy = false;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Box& b : boxes) texts.push_back(b.text);
        return texts;
    }
    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        boxes.push_back({text, flags, detail});
        if ((flags & kMbTypeMask) == kMbOk) return kIdOk;
        EXPECT_FALSE(answers.empty()) << "unexpected question: " << text;
        if (answers.empty()) return kIdNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override {
        EXPECT_EQ(request.typePattern, "*.csv");
        if (!saveAs) return std::nullopt;
        return SaveAsResult{*saveAs, saveAs->substr(saveAs->rfind('/') + 1)};
    }
    void ShowRows(const std::vector<std::vector<std::string>>& r) override { rows = r; }
    void ShowVersion(const std::string& text) override { version = text; }
    void EnableCommands(const CommandState& state) override { commands = state; }
    void FocusExit() override {}
    void BeginBusy() override { busy = sawBusy = true; }
    void EndBusy() override { busy = false; }
    int Pause(SerialHandle port, int ms, bool untilInput) override {
        EXPECT_TRUE(busy);
        return PlainPause(port, ms, untilInput);
    }
    void EndWindow() override { ++ended; }
    void ShowAbout() override {}
    void ShowHistory(const Logbook&, const std::string&, const std::string&) override { ++history; }
    void Refresh() override { ++refreshed; }
};

constexpr CommandState kReadOnly{.read = true};
constexpr CommandState kSaveAndClear{.save = true, .clear = true};

class MeterPresenterTest : public ::testing::Test {
protected:
    void Start(metersim::Options options = {}) {
        options.pace = false;
        meter = std::make_unique<test::MeterLine>(dir, options);
        presenter.Start();
    }
    // Answers the read's question with yes and reads.
    void Read() {
        view.answers.push_back(kIdYes);
        presenter.OnRead();
        EXPECT_FALSE(view.busy);
    }

    test::TempDir dir;
    test::ScopedCwd cwd{dir.Path()};
    test::FixedClock clock;
    std::unique_ptr<test::MeterLine> meter;
    RecordingView view;
    MeterPresenter presenter{view};
};

TEST_F(MeterPresenterTest, AReadShowsTheRecordsThenKeepsThemAndTheNextReadStartsEmpty) {
    Start();
    EXPECT_EQ(view.commands, kReadOnly);
    view.answers.push_back(kIdNo);
    presenter.OnRead();  // declined: nothing sent, nothing changed
    EXPECT_FALSE(view.sawBusy);

    Read();
    EXPECT_EQ(view.Texts(), (std::vector<std::string>{kAskRead, kAskRead}));
    ASSERT_EQ(view.rows.size(), 15u);
    EXPECT_EQ(view.rows[0][0], "01");
    EXPECT_EQ(view.rows[14][0], "15");
    EXPECT_EQ(view.version, "F/W Version:01.03");
    EXPECT_EQ(view.commands, kSaveAndClear);
    Failure error;
    EXPECT_EQ(Logbook::Open(dir.File(kLogbookFileName), &error)->CountRecords(), 15);

    view.answers = {kIdNo, kIdYes};
    presenter.OnClear();  // no: kept
    EXPECT_EQ(view.rows.size(), 15u);
    presenter.OnClear();
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(presenter.Records().m_nRecordCount, 0);
    EXPECT_EQ(view.commands, kReadOnly);
    EXPECT_EQ(view.version, "F/W Version:01.03");  // the version stays until the next read
    view.boxes.clear();
    presenter.OnClear();
    presenter.OnSaveCsv();
    EXPECT_EQ(view.Texts(), (std::vector<std::string>{kNothingToClear, kNothingToSave}));
}

TEST_F(MeterPresenterTest, EachFailedReadSaysWhyOnceAndLeavesTheListEmpty) {
    struct Case {
        const char* name;
        metersim::Options options;
        std::string message;
        unsigned flags;
    };
    metersim::Options hangUp, bad, empty;
    hangUp.hangupAfter = 100;
    bad.badChecks = 3;
    bad.pace = false;
    empty.answer.assign(kBlockSize, 0);
    empty.pace = false;
    for (const Case& c :
         {Case{"hang-up", hangUp, ExchangeFailureText(ExchangeOutcome::kTimedOut), kMbIconHand},
          Case{"bad check", bad, ExchangeFailureText(ExchangeOutcome::kBccError), kMbIconHand},
          Case{"no record", empty, kNoValidDataText, kMbIconInformation}}) {
        SCOPED_TRACE(c.name);
        test::MeterLine line(dir, c.options);
        RecordingView v;
        MeterPresenter p(v);
        p.Start();
        v.answers.push_back(kIdYes);
        p.OnRead();
        ASSERT_EQ(v.boxes.size(), 2u);
        EXPECT_EQ(v.boxes[1].text, c.message);
        EXPECT_EQ(v.boxes[1].flags, c.flags);
        EXPECT_TRUE(v.rows.empty());
        EXPECT_EQ(v.commands, kReadOnly);
        EXPECT_FALSE(test::Exists(dir.File(kLogbookFileName)));
    }
}

TEST_F(MeterPresenterTest, ALogbookThatCannotTakeTheReadIsSaidAfterTheRecordsAreShown) {
    test::WriteBytes(dir.File(kLogbookFileName), std::string(4096, 'x'));
    Start();
    Read();
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, kLogbookWriteFailedText);
    EXPECT_FALSE(view.boxes[1].detail.empty());
    EXPECT_EQ(view.rows.size(), 15u);
    EXPECT_EQ(view.commands, kSaveAndClear);
    EXPECT_EQ(ReadBytes(dir.File(kLogbookFileName)), std::string(4096, 'x'));
}

TEST_F(MeterPresenterTest, SaveWritesTheListReplacesAFileWholeAndKeepsAReadOnlyOne) {
    Start();
    Read();
    const std::string path = dir.File("list.csv");
    test::WriteBytes(path, "old");
    view.saveAs = path;
    view.boxes.clear();
    presenter.OnSaveCsv();
    EXPECT_EQ(view.Texts(), std::vector<std::string>{"\"list.csv\"を保存しました。"});
    EXPECT_EQ(ReadBytes(path), CsvContent(presenter.Records()));

    // A read-only file is refused (even for root) and kept.
    const std::string locked = dir.File("locked.csv");
    test::WriteBytes(locked, "kept");
    chmod(locked.c_str(), 0444);
    view.saveAs = locked;
    view.boxes.clear();
    presenter.OnSaveCsv();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, CsvFailureText(CsvResult::kOpenFailed));
    EXPECT_NE(view.boxes[0].detail.find(locked), std::string::npos);
    EXPECT_EQ(ReadBytes(locked), "kept");
    view.saveAs.reset();  // cancelled: nothing said
    view.boxes.clear();
    presenter.OnSaveCsv();
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(MeterPresenterTest, ThePortFailureNamesTheSettingAndExitAsksFirst) {
    WriteIniString(kPortsSection, "COM1", dir.File("unplugged"), dir.File("KORVANA.ini"));
    {
        test::RealSerialOpener real;
        presenter.Start();
    }
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, PortFailureText("COM1"));
    EXPECT_NE(view.boxes[0].detail.find(dir.File("unplugged")), std::string::npos);
    // The cause and its fix come first, in the window's language.
    const std::string cause =
        "INIファイルの[Ports]の COM1=" + dir.File("unplugged") + " が指すデバイスがありません。";
    EXPECT_EQ(view.boxes[0].detail.rfind(cause, 0), 0u) << view.boxes[0].detail;
    EXPECT_EQ(view.commands, CommandState{});
    EXPECT_FALSE(presenter.Session().IsOpen());
    EXPECT_EQ(view.boxes[0].detail.find("unknown encoding"), std::string::npos);

    // A settings file of no known encoding is named in the details: it may be why the port is
    // not the one meant. (It is read as far as it goes, so COM1 still leads nowhere.)
    const std::string broken = "[Ports]\r\nCOM1=" + dir.File("unplugged") + "\r\n; \x81\r\n";
    test::WriteBytes(dir.File("KORVANA.ini"), broken);
    view.boxes.clear();
    MeterPresenter again(view);
    {
        test::RealSerialOpener real;
        again.Start();
    }
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].detail.find(dir.File("KORVANA.ini") + " is read only as far as"),
              std::string::npos)
        << view.boxes[0].detail;
    EXPECT_EQ(test::ReadBytes(dir.File("KORVANA.ini")), broken);
    again.OnDestroy();

    view.answers = {kIdNo, kIdYes};
    presenter.OnExit();
    EXPECT_EQ(view.ended, 0);
    presenter.OnExit();
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(view.boxes.back().text, kAskExit);
    EXPECT_TRUE(presenter.MayClose());
}

TEST_F(MeterPresenterTest, AReadAfterTooManyRefuelsSaysOnceThatSomeMayBeLostAndHistoryMarksWhere) {
    auto readBlock = [this](int k) {
        metersim::Options options;
        const auto block = metersim::SequenceBlock(k);
        options.answer.assign(block.begin(), block.end());
        meter.reset();
        Start(options);
        view.boxes.clear();
        Read();
        EXPECT_EQ(view.rows.size(), 15u);  // the list shows either way
        EXPECT_EQ(view.commands, kSaveAndClear);
    };
    readBlock(0);
    EXPECT_EQ(view.Texts(), std::vector<std::string>{kAskRead});
    // Fifteen refuels later, nothing in common: said after the list, once.
    readBlock(5);
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, kLogbookGapText);
    EXPECT_EQ(view.boxes[1].flags, kMbIconExclamation);
    readBlock(5);
    EXPECT_EQ(view.Texts(), std::vector<std::string>{kAskRead});

    Failure error;
    const auto book = Logbook::Open(dir.File(kLogbookFileName), &error);
    ASSERT_NE(book, nullptr) << FailureLine(error);
    HistoryPresenter history(view, *book, {}, dir.Path());
    history.Start();
    // Newest first: the fifteen of the later read, the marker, the fifteen before.
    ASSERT_EQ(history.Shown().size(), 30u);
    ASSERT_EQ(history.RowCount(), 31u);
    for (std::size_t i = 0; i < history.RowCount(); ++i) EXPECT_EQ(history.IsGapRow(i), i == 15);
    EXPECT_EQ(history.RowTexts(14)[0], "16");
    EXPECT_EQ(history.RowTexts(15)[1], kGapMarkerText);
    EXPECT_EQ(history.RowTexts(16)[0], "15");
    EXPECT_EQ(history.RowTexts(16)[1], history.Shown()[15].texts.m_strDate);
    EXPECT_NE(history.SummaryText().find(std::string(kGapMarkerText) + " 1 か所"),
              std::string::npos);
    // The export holds records only.
    view.saveAs = dir.File("all.csv");
    history.OnExport();
    std::vector<RecordRow> oldestFirst;
    for (auto it = history.Shown().rbegin(); it != history.Shown().rend(); ++it) {
        oldestFirst.push_back(it->texts);
    }
    EXPECT_EQ(ReadBytes(dir.File("all.csv")), Sjis(CsvText(oldestFirst)));
    // A range of the later records alone keeps the gap under its oldest; one of the earlier
    // records alone has none.
    const std::string newest = *history.Shown()[0].isoDate;
    const std::string afterGap = *history.Shown()[14].isoDate;
    const std::string beforeGap = *history.Shown()[15].isoDate;
    history.ShowRange(afterGap, newest);
    EXPECT_EQ(history.RowCount(), 16u);
    EXPECT_TRUE(history.IsGapRow(15));
    history.ShowRange(beforeGap, beforeGap);
    EXPECT_EQ(history.RowCount(), 1u);
    EXPECT_FALSE(history.IsGapRow(0));
}

TEST_F(MeterPresenterTest, HistoryShowsARangeInTheUnitKeptAndExportsItOldestFirst) {
    for (int k : {0, 2}) {
        metersim::Options options;
        const auto block = metersim::SequenceBlock(k);
        options.answer.assign(block.begin(), block.end());
        meter.reset();
        Start(options);
        Read();
    }
    Failure error;
    const auto book = Logbook::Open(dir.File(kLogbookFileName), &error);
    const std::string ini = dir.File("KORVANA.ini");
    HistoryPresenter history(view, *book, ini, dir.Path());
    history.Start();
    ASSERT_EQ(history.Shown().size(), 21u);
    EXPECT_EQ(history.RowTexts(0)[0], "21");  // newest first, numbered from the oldest
    const auto span = history.DateSpan();
    ASSERT_TRUE(span);
    history.ShowRange(span->first, span->first);
    ASSERT_EQ(history.Shown().size(), 1u);
    EXPECT_EQ(history.Summary().records, 1);

    history.SetPerHundredKm(true);
    EXPECT_EQ(ReadIniString(kLogbookSection, kLogbookUnitsKey, ini).value_or(""),
              kLitresPer100KmUnit);
    EXPECT_EQ(history.Captions()[7], "L/100km(実)");
    HistoryPresenter again(view, *book, ini, dir.Path());
    again.Start();
    EXPECT_TRUE(again.PerHundredKm());

    history.ShowAll();
    view.saveAs = dir.File("all.csv");
    history.OnExport();
    std::vector<RecordRow> oldestFirst;
    for (auto it = history.Shown().rbegin(); it != history.Shown().rend(); ++it) {
        oldestFirst.push_back(it->texts);
    }
    EXPECT_EQ(ReadBytes(dir.File("all.csv")), Sjis(CsvText(oldestFirst)));
    EXPECT_GE(view.refreshed, 4);
}

}  // namespace
}  // namespace odomei
