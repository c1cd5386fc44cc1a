// The windows' flow without a toolkit: the presenter on a recording view, reading the simulated
// meter on a pseudo-terminal, with the logbook and the files real.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "data/AppExport.h"
#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "link/ReadExchange.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/LogExpect.h"
#include "tests/LogbookSupport.h"
#include "tests/MeterLine.h"
#include "ui/HistoryPresenter.h"
#include "ui/HistoryText.h"
#include "ui/MeterPresenter.h"
#include "ui/Texts.h"
#include "ui/VehiclePresenter.h"

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
    std::size_t saveType = 0;           // and the type chosen in it
    std::vector<SaveAsRequest> saveRequests;
    std::vector<std::vector<std::string>> rows;
    std::string version;
    std::string vehicle;  // the vehicle text shown
    std::string historyVehicle;
    // The vehicle dialog's answers, in turn (none left: the test fails), and what it was asked.
    std::deque<std::function<std::optional<std::string>(const VehicleRequest&)>> dialogs;
    std::vector<VehicleRequest> requests;
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
        saveRequests.push_back(request);
        if (!saveAs) return std::nullopt;
        return SaveAsResult{*saveAs, saveAs->substr(saveAs->rfind('/') + 1), saveType};
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
    void ShowVehicle(const std::string& text) override { vehicle = text; }
    void ShowHistory(const Logbook&, const std::string& v, const std::string&,
                     const std::string&) override {
        historyVehicle = v;
        ++history;
    }
    std::optional<std::string> ShowVehicles(const VehicleRequest& request) override {
        requests.push_back(request);
        EXPECT_FALSE(dialogs.empty()) << "unexpected vehicle dialog: " << request.prompt;
        if (dialogs.empty()) return std::nullopt;
        auto answer = std::move(dialogs.front());
        dialogs.pop_front();
        return answer(request);
    }
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
    HistoryPresenter history(view, *book, {}, {}, dir.Path());
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
    const std::vector<LogbookRecord> shown = history.Shown();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) oldestFirst.push_back(it->texts);
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
    HistoryPresenter history(view, *book, {}, ini, dir.Path());
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
    HistoryPresenter again(view, *book, {}, ini, dir.Path());
    again.Start();
    EXPECT_TRUE(again.PerHundredKm());

    history.ShowAll();
    view.saveAs = dir.File("all.csv");
    history.OnExport();
    std::vector<RecordRow> oldestFirst;
    const std::vector<LogbookRecord> shown = history.Shown();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) oldestFirst.push_back(it->texts);
    EXPECT_EQ(ReadBytes(dir.File("all.csv")), Sjis(CsvText(oldestFirst)));
    EXPECT_GE(view.refreshed, 4);
}

// Read k of the simulated car, or of another car (car 1, 2, ...) refuelled on the same days: the
// same dates, other bytes.
std::vector<std::uint8_t> CarBlock(int k, int car = 0) {
    auto block = metersim::SequenceBlock(k);
    constexpr int kKmByte = 4;  // the lowest byte of the distance: a few metres more or less
    for (int r = 0; r < 15; ++r) block[1 + 14 * r + kKmByte] ^= static_cast<std::uint8_t>(car);
    return {block.begin(), block.end()};
}

MeterReading CarReading(int k, int car = 0) {
    const auto bytes = CarBlock(k, car);
    std::array<std::uint8_t, kBlockSize> block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return ReadingOf(block);
}

// Reads of several cars through the main window's presenter, with the logbook's vehicles.
class VehicleReads : public MeterPresenterTest {
protected:
    // Reads block through the presenter, answering the read's question and then answers.
    void ReadBlock(const std::vector<std::uint8_t>& block, std::vector<int> answers = {}) {
        metersim::Options options;
        options.answer = block;
        meter.reset();
        Start(options);
        view.boxes.clear();
        view.answers.push_back(kIdYes);
        for (int a : answers) view.answers.push_back(a);
        presenter.OnRead();
        EXPECT_TRUE(view.answers.empty());
        EXPECT_TRUE(view.dialogs.empty());
        EXPECT_EQ(view.rows.size(), 15u);  // shown whatever becomes of the read
    }
    // What was said after the read's question.
    std::vector<std::string> After() const {
        auto texts = view.Texts();
        if (!texts.empty()) texts.erase(texts.begin());
        return texts;
    }
    std::unique_ptr<Logbook> Book(LogbookAccess access = LogbookAccess::kLook) {
        Failure error;
        auto book = Logbook::Open(dir.File(kLogbookFileName), &error, access);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        return book;
    }
    // Each vehicle's name and record count, oldest first.
    std::vector<std::pair<std::string, std::int64_t>> Counts() {
        std::vector<std::pair<std::string, std::int64_t>> counts;
        for (const auto& v : Book()->Vehicles()) counts.emplace_back(v.name, v.records);
        return counts;
    }
    void AddVehicle(const std::string& name) {
        Failure error;
        EXPECT_TRUE(Book(LogbookAccess::kWrite)->AddVehicle(name, {}, &error))
            << FailureLine(error);
    }
    void Keep(const MeterReading& reading, const ReadTarget& target) {
        Failure error;
        const auto counts = Book(LogbookAccess::kWrite)->Merge(reading, kAt, target, &error);
        ASSERT_TRUE(counts) << FailureLine(error);
        EXPECT_EQ(counts->place.conflict, ReadConflict::kNone) << counts->place.why.en;
    }
    std::string Ini() const { return dir.File("KORVANA.ini"); }
    void Select(const std::string& name) {
        WriteIniString(kLogbookSection, kLogbookVehicleKey, name, Ini());
    }
    std::string Setting() const {
        return ReadIniString(kLogbookSection, kLogbookVehicleKey, Ini()).value_or("");
    }
    using Counted = std::vector<std::pair<std::string, std::int64_t>>;
};

TEST_F(VehicleReads, OneCarAndItsOwnMeterAskNothingAndWriteNoSetting) {
    ReadBlock(CarBlock(0));
    EXPECT_EQ(view.vehicle, VehicleShownText(kFirstVehicleName));
    ReadBlock(CarBlock(2));
    EXPECT_TRUE(After().empty()) << After()[0];
    EXPECT_TRUE(view.requests.empty());
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 21}}));
    EXPECT_EQ(presenter.Vehicle(), kFirstVehicleName);
    EXPECT_EQ(Setting(), "");
    presenter.OnHistory();
    EXPECT_EQ(view.historyVehicle, kFirstVehicleName);
}

TEST_F(VehicleReads, AReadOfAnotherCarsMeterAsksCancelKeepsItNowhereAndYesKeepsItWithThatCar) {
    ReadBlock(CarBlock(0));
    AddVehicle("軽トラ");
    Select("軽トラ");
    ReadBlock(CarBlock(2), {kIdCancel});
    EXPECT_EQ(view.vehicle, VehicleShownText("軽トラ"));
    ASSERT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.boxes[1].text, AskOtherVehicleText(kFirstVehicleName, "軽トラ"));
    EXPECT_EQ(view.boxes[1].flags, kMbYesNoCancel | kMbIconQuestion);
    EXPECT_EQ(view.boxes[2].text, kKeptNowhereText);
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"軽トラ", 0}}));
    EXPECT_EQ(Book()->CountReads(), 1);

    ReadBlock(CarBlock(2), {kIdYes});
    EXPECT_EQ(After(), (std::vector<std::string>{AskOtherVehicleText(kFirstVehicleName, "軽トラ"),
                                                 KeptWithText(kFirstVehicleName)}));
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 21}, {"軽トラ", 0}}));
    // The selection follows the read, and is kept for the next start.
    EXPECT_EQ(view.vehicle, VehicleShownText(kFirstVehicleName));
    EXPECT_EQ(Setting(), kFirstVehicleName);

    // Nothing new in it: kept with its car without a question, the selection following.
    Select("軽トラ");
    ReadBlock(CarBlock(2));
    EXPECT_EQ(After(), std::vector<std::string>{KeptWithText(kFirstVehicleName)});
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 21}, {"軽トラ", 0}}));
    EXPECT_EQ(Setting(), kFirstVehicleName);
}

TEST_F(VehicleReads, AMeterMovedToTheSelectedCarLeavesTheOldCarsRecordsWhereTheyAre) {
    ReadBlock(CarBlock(0));
    AddVehicle("軽トラ");
    Select("軽トラ");
    ReadBlock(CarBlock(2), {kIdNo});
    EXPECT_EQ(After(), std::vector<std::string>{AskOtherVehicleText(kFirstVehicleName, "軽トラ")});
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"軽トラ", 6}}));
    EXPECT_EQ(view.vehicle, VehicleShownText("軽トラ"));
    EXPECT_EQ(Setting(), "軽トラ");
}

TEST_F(VehicleReads, AReadOverlappingTwoCarsAsksWhichTakesItsNewRecords) {
    Keep(CarReading(0), {});  // refuels 0 to 14
    AddVehicle("軽トラ");
    Keep(CarReading(6), {"軽トラ", true});  // refuels 18 to 32: read 6 of the first car's meter
    view.dialogs.push_back([](const VehicleRequest& request) {
        EXPECT_EQ(request.prompt, SeveralVehiclesText(std::string(kFirstVehicleName) + "、軽トラ"));
        EXPECT_FALSE(request.detail.empty());
        return std::optional<std::string>("軽トラ");
    });
    ReadBlock(CarBlock(4));  // refuels 12 to 26: three of the first car's, nine of the other's
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"軽トラ", 18}}));
    EXPECT_EQ(After(), std::vector<std::string>{KeptWithText("軽トラ")});
    EXPECT_EQ(Setting(), "軽トラ");
}

TEST_F(VehicleReads, RecordsThatCannotBeTheSelectedCarsAskWhoseTheyAreUntilAnAnswerFits) {
    Keep(CarReading(5), {});  // refuels 15 to 29
    AddVehicle("予備車");
    const std::string other = std::string(NotThisVehicleText(kFirstVehicleName));
    // Another car's refuels on days the first car covers, and before: closed, kept nowhere.
    view.dialogs.push_back([&](const VehicleRequest& request) {
        EXPECT_EQ(request.prompt, other);
        EXPECT_FALSE(request.detail.empty());
        EXPECT_EQ(request.selected, kFirstVehicleName);
        EXPECT_EQ(request.logbookPath, dir.File(kLogbookFileName));
        return std::optional<std::string>();
    });
    ReadBlock(CarBlock(2, 1));
    EXPECT_EQ(After(), std::vector<std::string>{kKeptNowhereText});
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"予備車", 0}}));

    // The car it cannot be, chosen: asked again; then a car made in the dialog takes it.
    view.dialogs.push_back(
        [](const VehicleRequest&) { return std::optional<std::string>(kFirstVehicleName); });
    view.dialogs.push_back([&](const VehicleRequest& request) {
        EXPECT_EQ(request.prompt, other);
        AddVehicle("ハイエース");
        return std::optional<std::string>("ハイエース");
    });
    ReadBlock(CarBlock(2, 1));
    EXPECT_EQ(After(), std::vector<std::string>{KeptWithText("ハイエース")});
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"予備車", 0}, {"ハイエース", 15}}));
    EXPECT_EQ(Setting(), "ハイエース");

    // A third car on the same days: the one chosen is a car already there.
    view.dialogs.push_back([](const VehicleRequest& request) {
        EXPECT_EQ(request.prompt, NotThisVehicleText("ハイエース"));
        return std::optional<std::string>("予備車");
    });
    ReadBlock(CarBlock(2, 2));
    EXPECT_EQ(Counts(), (Counted{{kFirstVehicleName, 15}, {"予備車", 15}, {"ハイエース", 15}}));
    EXPECT_EQ(view.vehicle, VehicleShownText("予備車"));
    EXPECT_EQ(Setting(), "予備車");
}

TEST_F(VehicleReads, TheVehicleDialogsChoiceIsSelectedAndARenameOrRemovalInItIsFollowed) {
    Start();
    view.dialogs.push_back([&](const VehicleRequest& request) {
        EXPECT_TRUE(request.prompt.empty());
        EXPECT_EQ(request.selected, kFirstVehicleName);
        AddVehicle("軽トラ");
        return std::optional<std::string>("軽トラ");
    });
    presenter.OnVehicles();
    EXPECT_EQ(view.vehicle, VehicleShownText("軽トラ"));
    EXPECT_EQ(Setting(), "軽トラ");

    view.dialogs.push_back([&](const VehicleRequest&) {
        Failure error;
        EXPECT_TRUE(Book(LogbookAccess::kWrite)->RenameVehicle("軽トラ", "軽バン", &error));
        return std::optional<std::string>();
    });
    presenter.OnVehicles();
    EXPECT_EQ(view.vehicle, VehicleShownText("軽バン"));
    EXPECT_EQ(Setting(), "軽バン");

    view.dialogs.push_back([&](const VehicleRequest& request) {
        EXPECT_EQ(request.selected, "軽バン");
        Failure error;
        EXPECT_TRUE(Book(LogbookAccess::kWrite)->RemoveVehicle("軽バン", &error));
        return std::optional<std::string>();
    });
    presenter.OnVehicles();
    EXPECT_EQ(presenter.Vehicle(), kFirstVehicleName);
    EXPECT_EQ(Setting(), kFirstVehicleName);
    presenter.OnHistory();
    EXPECT_EQ(view.historyVehicle, kFirstVehicleName);
    EXPECT_TRUE(view.boxes.empty());

    // A settings file that cannot take the choice: said, and the choice holds until the end.
    const std::string broken = ReadBytes(Ini()) + "; \x81\r\n";
    test::WriteBytes(Ini(), broken);
    view.dialogs.push_back([&](const VehicleRequest&) {
        AddVehicle("予備車");
        return std::optional<std::string>("予備車");
    });
    presenter.OnVehicles();
    EXPECT_EQ(view.Texts(), std::vector<std::string>{kVehicleNotKeptText});
    EXPECT_FALSE(view.boxes[0].detail.empty());
    EXPECT_EQ(view.vehicle, VehicleShownText("予備車"));
    EXPECT_EQ(ReadBytes(Ini()), broken);
}

// The vehicle dialog's flow on a recording view over a real logbook.
class RecordingVehicleView : public VehicleView {
public:
    std::vector<std::pair<std::string, std::string>> boxes;  // text, detail
    std::deque<int> answers;
    std::deque<std::optional<VehicleEdit>> edits;
    std::vector<VehicleEdit> starts;  // what each name-and-note dialog was filled with
    int closed = 0;

    void Refresh() override {}
    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        boxes.emplace_back(text, detail);
        if ((flags & kMbTypeMask) == kMbOk) return kIdOk;
        EXPECT_FALSE(answers.empty()) << "unexpected question: " << text;
        const int answer = answers.empty() ? kIdNo : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    std::optional<VehicleEdit> AskVehicle(const VehicleEdit& start, bool) override {
        starts.push_back(start);
        EXPECT_FALSE(edits.empty());
        if (edits.empty()) return std::nullopt;
        auto edit = edits.front();
        edits.pop_front();
        return edit;
    }
    void Close() override { ++closed; }
};

TEST(VehicleDialog, AddsRenamesAndRemovesAskingAgainForANameThatCannotBe) {
    test::TempDir dir;
    const std::string path = dir.File(kLogbookFileName);
    RecordingVehicleView view;
    VehiclePresenter vehicles(view, {path, {}, {}, {}});
    vehicles.Start();  // no logbook yet: made, with its first vehicle
    ASSERT_EQ(vehicles.RowCount(), 1u);
    EXPECT_EQ(vehicles.RowTexts(0),
              (std::vector<std::string>{kFirstVehicleName, "", "0", "", "", ""}));
    EXPECT_EQ(vehicles.Selection(), 0u);
    EXPECT_EQ(vehicles.Prompt(), kVehicleManagePrompt);
    EXPECT_EQ(vehicles.ChooseText(), kVehicleChooseText);

    // A name with a space in front is said and asked again with what was typed.
    view.edits = {VehicleEdit{" 軽トラ", ""}, VehicleEdit{"軽トラ", "品川 480 あ 12-34"}};
    vehicles.OnAdd();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].first, kVehicleNameProblemText);
    EXPECT_FALSE(view.boxes[0].second.empty());
    EXPECT_EQ(view.starts.back().name, " 軽トラ");
    ASSERT_EQ(vehicles.RowCount(), 2u);
    EXPECT_EQ(vehicles.Selection(), 1u);
    EXPECT_EQ(vehicles.RowTexts(1)[1], "品川 480 あ 12-34");

    // A name taken: said, asked again, cancelled.
    view.boxes.clear();
    view.edits = {VehicleEdit{kFirstVehicleName, ""}, std::nullopt};
    vehicles.OnAdd();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].first, kVehicleNameTakenText);
    EXPECT_EQ(vehicles.RowCount(), 2u);

    // Renamed (and its note changed): the same row stays selected under its new name.
    view.edits = {VehicleEdit{"軽バン", "足立 400"}};
    vehicles.OnRename();
    EXPECT_EQ(view.starts.back().name, "軽トラ");
    ASSERT_EQ(vehicles.Selection(), 1u);
    EXPECT_EQ(vehicles.RowTexts(1)[0], "軽バン");
    EXPECT_EQ(vehicles.RowTexts(1)[1], "足立 400");

    // The first car's records, counted in the question; no keeps them, yes removes them.
    {
        Failure error;
        auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
        ASSERT_TRUE(book->Merge(CarReading(0), kAt, {}, &error)) << FailureLine(error);
    }
    VehiclePresenter again(view, {path, kFirstVehicleName, {}, {}});
    again.Start();
    EXPECT_EQ(again.Selection(), 0u);
    EXPECT_EQ(again.RowTexts(0)[2], "15");
    view.boxes.clear();
    view.answers = {kIdNo, kIdYes};
    again.OnRemove();
    EXPECT_EQ(again.RowCount(), 2u);
    again.OnRemove();
    EXPECT_EQ(view.boxes[0].first, AskRemoveVehicleText(kFirstVehicleName, 15));
    ASSERT_EQ(again.RowCount(), 1u);
    EXPECT_EQ(again.Selection(), 0u);  // its neighbour
    EXPECT_EQ(again.RowTexts(0)[0], "軽バン");
    // The last is never removed (it can be renamed).
    view.boxes.clear();
    again.OnRemove();
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].first, kLastVehicleText);
    EXPECT_EQ(again.RowCount(), 1u);

    again.OnChoose();
    EXPECT_EQ(again.Chosen(), "軽バン");
    EXPECT_EQ(view.closed, 1);
}

TEST(VehicleDialog, AsTheReadsQuestionItKeepsHereOrNowhereAndRemovesNothing) {
    test::TempDir dir;
    RecordingVehicleView view;
    VehiclePresenter asking(view, {dir.File(kLogbookFileName), kFirstVehicleName,
                                   NotThisVehicleText(kFirstVehicleName), "理由"});
    asking.Start();
    EXPECT_TRUE(asking.Asking());
    EXPECT_EQ(asking.Prompt(), NotThisVehicleText(kFirstVehicleName));
    EXPECT_EQ(asking.Detail(), "理由");
    EXPECT_EQ(asking.ChooseText(), kVehicleKeepHereText);
    EXPECT_EQ(asking.CloseText(), kVehicleKeepNowhereText);
    EXPECT_FALSE(asking.CanRemove());
    EXPECT_TRUE(asking.CanChoose());
    asking.OnClose();
    EXPECT_FALSE(asking.Chosen());
    EXPECT_EQ(view.closed, 1);
}

// Two cars read into one logbook, interleaved: each shows exactly what a logbook of its reads
// alone shows.
TEST(HistoryPerVehicle, EachVehicleShowsWhatALogbookOfItsReadsAloneShows) {
    test::TempDir dir;
    RecordingView view;
    auto open = [&](const std::string& name) {
        Failure error;
        auto book = Logbook::Open(dir.File(name), &error, LogbookAccess::kWrite);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        return book;
    };
    auto both = open("both.sqlite3");
    auto first = open("first.sqlite3");
    auto second = open("second.sqlite3");
    Failure error;
    ASSERT_TRUE(both->AddVehicle("軽トラ", {}, &error)) << FailureLine(error);
    // The first car is read after fifteen refuels once (a gap); the second regularly.
    const std::vector<int> firstReads{0, 1, 6}, secondReads{0, 2, 3};
    for (std::size_t i = 0; i < firstReads.size(); ++i) {
        ASSERT_TRUE(both->Merge(CarReading(firstReads[i]), kAt, {}, &error));
        ASSERT_TRUE(both->Merge(CarReading(secondReads[i], 1), kAt, {"軽トラ", true}, &error));
        ASSERT_TRUE(first->Merge(CarReading(firstReads[i]), kAt, {}, &error));
        ASSERT_TRUE(second->Merge(CarReading(secondReads[i], 1), kAt, {}, &error));
    }
    auto same = [](const HistoryPresenter& a, const HistoryPresenter& b) {
        ASSERT_EQ(a.RowCount(), b.RowCount());
        for (std::size_t i = 0; i < a.RowCount(); ++i) EXPECT_EQ(a.RowTexts(i), b.RowTexts(i));
        EXPECT_EQ(a.SummaryText(), b.SummaryText());
        EXPECT_EQ(a.DateSpan(), b.DateSpan());
    };
    HistoryPresenter shared(view, *both, "軽トラ", {}, dir.Path());
    shared.Start();
    EXPECT_EQ(shared.VehicleNames(), (std::vector<std::string>{kFirstVehicleName, "軽トラ"}));
    EXPECT_EQ(shared.VehicleIndex(), 1u);
    HistoryPresenter firstAlone(view, *first, {}, {}, dir.Path());
    HistoryPresenter secondAlone(view, *second, {}, {}, dir.Path());
    firstAlone.Start();
    secondAlone.Start();
    same(shared, secondAlone);
    shared.SelectVehicle(0);
    same(shared, firstAlone);
    EXPECT_NE(shared.SummaryText().find(kGapMarkerText), std::string::npos);
    // The range and unit chosen stay when another vehicle is shown.
    const auto span = firstAlone.DateSpan();
    ASSERT_TRUE(span);
    shared.ShowRange(span->first, "2013-06-30");
    shared.SetPerHundredKm(true);
    shared.SelectVehicle(1);
    EXPECT_TRUE(shared.PerHundredKm());
    secondAlone.ShowRange(span->first, "2013-06-30");
    secondAlone.SetPerHundredKm(true);
    same(shared, secondAlone);
    EXPECT_LT(shared.Shown().size(), 21u);
}

// The history's price and odometer columns typed into, and its export for the fuel apps, on a
// logbook of two reads with refuels lost between them: rows 0 to 14 the later read's (newest
// first), row 15 the gap, rows 16 to 30 the earlier read's.
class HistoryEdits : public ::testing::Test {
protected:
    void SetUp() override {
        {
            auto book = Open(LogbookAccess::kWrite);
            Failure error;
            for (int k : {0, 5}) ASSERT_TRUE(book->Merge(CarReading(k), kAt, {}, &error));
        }
        look = Open(LogbookAccess::kLook);
        presenter = std::make_unique<HistoryPresenter>(view, *look, "", "", dir.Path());
        presenter->Start();
        ASSERT_EQ(presenter->RowCount(), 31u);
        ASSERT_TRUE(presenter->IsGapRow(15));
    }
    std::unique_ptr<Logbook> Open(LogbookAccess access) {
        Failure error;
        auto book = Logbook::Open(path, &error, access);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        return book;
    }
    // The record of row i as the logbook holds it now.
    LogbookRecord Stored(std::size_t i) {
        const std::int64_t id = presenter->Shown()[i < 15 ? i : i - 1].id;
        for (const LogbookRecord& r : Open(LogbookAccess::kLook)->Records()) {
            if (r.id == id) return r;
        }
        ADD_FAILURE() << "no record " << id;
        return {};
    }
    std::string Cell(std::size_t row, int column) const {
        return presenter->RowTexts(row)[static_cast<std::size_t>(column)];
    }
    bool Says(const std::string& text) const {
        return presenter->SummaryText().find(text) != std::string::npos;
    }

    test::TempDir dir;
    std::string path = dir.File(kLogbookFileName);
    RecordingView view;
    std::unique_ptr<Logbook> look;
    std::unique_ptr<HistoryPresenter> presenter;
};

TEST_F(HistoryEdits, APriceTypedInEitherColumnIsStoredShownAndSummedAndAnEmptyTextClearsIt) {
    const auto captions = presenter->Captions();
    EXPECT_EQ(std::vector(captions.begin() + kPricePerLitreColumn, captions.end()),
              (std::vector<std::string>{"単価(JPY/L)", "金額(JPY)", "総走行距離(km)"}));
    EXPECT_TRUE(Says(NoPriceYetText("JPY")));
    // The range and unit chosen stay through the edits.
    const std::string newest = *presenter->Shown()[0].isoDate;
    presenter->ShowRange(*presenter->Shown()[20].isoDate, newest);
    presenter->SetPerHundredKm(true);
    const std::size_t shown = presenter->Shown().size();

    EXPECT_TRUE(presenter->OnEdit(0, kPricePerLitreColumn, "168,5"));
    EXPECT_EQ(Stored(0).price, (Price{PriceKind::kPerLitre, 16850}));
    const std::int64_t refuel0 = Stored(0).refuel;  // hundredths of a litre
    const std::int64_t cost0 = (16850 * refuel0 + 50) / 100;
    EXPECT_EQ(Cell(0, kPricePerLitreColumn), "168.50");
    EXPECT_EQ(Cell(0, kCostColumn), AmountText(cost0));

    EXPECT_TRUE(presenter->OnEdit(1, kCostColumn, " 5432 "));
    EXPECT_EQ(Stored(1).price, (Price{PriceKind::kTotal, 543200}));
    const std::int64_t refuel1 = Stored(1).refuel;
    EXPECT_EQ(Cell(1, kCostColumn), "5432.00");
    EXPECT_EQ(Cell(1, kPricePerLitreColumn), AmountText((543200 * 100 + refuel1 / 2) / refuel1));
    EXPECT_EQ(presenter->Shown().size(), shown);
    EXPECT_TRUE(presenter->PerHundredKm());
    EXPECT_EQ(*presenter->Shown()[0].isoDate, newest);
    // Both counted, of every record shown.
    EXPECT_TRUE(Says("費用 " + AmountText(cost0 + 543200) + " JPY"));
    EXPECT_TRUE(Says("価格のある記録 2 件から（全 " + std::to_string(shown) + " 件）"))
        << presenter->SummaryText();

    // The text shown, typed again, stores nothing; an empty one clears the price.
    const int refreshed = view.refreshed;
    EXPECT_TRUE(presenter->OnEdit(1, kPricePerLitreColumn, Cell(1, kPricePerLitreColumn)));
    EXPECT_EQ(view.refreshed, refreshed);
    EXPECT_TRUE(presenter->OnEdit(0, kCostColumn, "  "));
    EXPECT_EQ(Stored(0).price, std::nullopt);
    EXPECT_EQ(Cell(0, kPricePerLitreColumn), "");
    EXPECT_EQ(Cell(0, kCostColumn), "");
    EXPECT_TRUE(view.boxes.empty()) << view.boxes[0].text;
}

TEST_F(HistoryEdits, AnEditThatBringsAnOlderLogbookToTodaysLayoutShowsWhatItStored) {
    // The window looked at the logbook as ODOMEI kept it before prices; the edit upgrades it.
    presenter.reset();
    look.reset();
    test::MakeDatabase(path,
                       "DROP TABLE prices; DROP TABLE odometer; "
                       "ALTER TABLE vehicles DROP COLUMN currency; PRAGMA user_version = 3;");
    look = Open(LogbookAccess::kLook);
    presenter = std::make_unique<HistoryPresenter>(view, *look, "", "", dir.Path());
    presenter->Start();
    ASSERT_EQ(presenter->RowCount(), 31u);
    EXPECT_TRUE(presenter->OnEdit(0, kCostColumn, "5432"));
    EXPECT_EQ(Stored(0).price, (Price{PriceKind::kTotal, 543200}));
    EXPECT_EQ(Cell(0, kCostColumn), "5432.00");
    EXPECT_TRUE(presenter->OnEdit(2, kOdometerColumn, "48210"));
    EXPECT_EQ(Cell(2, kOdometerColumn), "48210");
}

TEST_F(HistoryEdits, ATextThatIsNoneOrACellThatIsNotTheUsersChangesNothingAndSaysWhy) {
    for (const char* bad : {"1,234.5", "-3", "12.345"}) {
        view.boxes.clear();
        EXPECT_FALSE(presenter->OnEdit(0, kPricePerLitreColumn, bad)) << bad;
        ASSERT_EQ(view.boxes.size(), 1u) << bad;
        EXPECT_EQ(view.boxes[0].text, kPriceProblemText);
        EXPECT_EQ(view.boxes[0].flags, kMbIconExclamation);
        // Why, in both languages, with the text typed.
        Reason why;
        ParsePriceAmount(bad, &why);
        EXPECT_NE(view.boxes[0].detail.find(why.ja), std::string::npos) << view.boxes[0].detail;
        EXPECT_NE(view.boxes[0].detail.find(why.en), std::string::npos) << view.boxes[0].detail;
        EXPECT_NE(view.boxes[0].detail.find(std::string("\"") + bad + "\""), std::string::npos);
    }
    view.boxes.clear();
    EXPECT_FALSE(presenter->OnEdit(3, kOdometerColumn, "48,210 km"));
    EXPECT_EQ(view.Texts(), std::vector<std::string>{kOdometerProblemText});
    EXPECT_EQ(Stored(0).price, std::nullopt);
    EXPECT_EQ(Stored(3).odometer, std::nullopt);
    // Only a record's price and odometer cells: not the gap's row, not the meter's figures.
    EXPECT_FALSE(presenter->IsEditable(15, kPricePerLitreColumn));
    EXPECT_FALSE(presenter->IsEditable(0, 2));
    EXPECT_TRUE(presenter->IsEditable(30, kOdometerColumn));
    view.boxes.clear();
    EXPECT_FALSE(presenter->OnEdit(15, kCostColumn, "100"));
    EXPECT_FALSE(presenter->OnEdit(0, 5, "100"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(HistoryEdits, AnOdometerGivenAtOneRefuelRunsThroughItsStretchAndTheRestIsSaidUnknown) {
    EXPECT_TRUE(presenter->OnEdit(2, kOdometerColumn, "48 210"));
    EXPECT_EQ(Stored(2).odometer, 4821000);
    EXPECT_TRUE(Stored(2).odometerGiven);
    // The newer refuel adds its own distance; the older one is where this one's began.
    const std::int64_t newer = 4821000 + Stored(1).distance;
    const std::int64_t older = 4821000 - Stored(2).distance;
    EXPECT_EQ(Cell(2, kOdometerColumn), "48210");
    EXPECT_EQ(Cell(1, kOdometerColumn), std::to_string((newer + 50) / 100));
    EXPECT_EQ(Cell(3, kOdometerColumn), std::to_string((older + 50) / 100));
    EXPECT_FALSE(Stored(1).odometerGiven);
    // Before the gap nothing follows from it: those fifteen are said unknown, and how to give one.
    for (std::size_t row = 16; row < 31; ++row) EXPECT_EQ(Cell(row, kOdometerColumn), "") << row;
    EXPECT_TRUE(Says(OdometerUnknownText(15))) << presenter->SummaryText();
    // Given there as well, every record is known.
    EXPECT_TRUE(presenter->OnEdit(30, kOdometerColumn, "30000"));
    EXPECT_EQ(Cell(30, kOdometerColumn), "30000");
    EXPECT_NE(Cell(16, kOdometerColumn), "");
    EXPECT_EQ(Cell(1, kOdometerColumn), std::to_string((newer + 50) / 100));
    EXPECT_FALSE(Says(kOdometerCaption + std::string(": ")));
    // Cleared in any row of the stretch, the reading given in it goes: the stretch has none again.
    EXPECT_TRUE(presenter->OnEdit(5, kOdometerColumn, ""));
    for (std::size_t row = 0; row < 15; ++row) EXPECT_EQ(Cell(row, kOdometerColumn), "") << row;
    EXPECT_TRUE(Says(OdometerUnknownText(15)));
    EXPECT_TRUE(view.boxes.empty()) << view.boxes[0].text;
}

TEST_F(HistoryEdits, ALogbookThatCannotBeWrittenRefusesTheEditAndKeepsEverything) {
    // Read-only by its permissions: refused to root as well.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::string before = ReadBytes(path);
    const auto rows = presenter->RowTexts(0);
    for (int column : {kPricePerLitreColumn, kOdometerColumn}) {
        view.boxes.clear();
        EXPECT_FALSE(presenter->OnEdit(0, column, "150"));
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, kHistoryEditFailedText);
        EXPECT_EQ(view.boxes[0].flags, kMbIconHand);
        EXPECT_NE(view.boxes[0].detail.find(path), std::string::npos) << view.boxes[0].detail;
    }
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(presenter->RowTexts(0), rows);
}

// The window reads a row's texts when it is shown: a logbook that can no longer be read by then
// leaves those cells empty, and neither export writes a file with texts missing.
TEST_F(HistoryEdits, TextsThatCanNoLongerBeReadAreNeverExportedEmpty) {
    std::filesystem::resize_file(path, 0);
    EXPECT_EQ(Cell(0, 2), "");
    EXPECT_FALSE(Cell(0, 1).empty());  // the date was read with the figures
    view.saveAs = dir.File("out.csv");
    presenter->OnExport();
    presenter->OnExportForApp();
    ASSERT_EQ(view.boxes.size(), 2u);
    for (const auto& box : view.boxes) {
        EXPECT_EQ(box.text, kLogbookOpenFailedText);
        EXPECT_EQ(box.flags, kMbIconHand);
    }
    EXPECT_TRUE(view.saveRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.csv")));
}

TEST_F(HistoryEdits, TheExportForAnAppWritesTheTypeChosenAsUtf8AndSaysWhatItLeftOut) {
    const std::string file = dir.File("app.csv");
    view.saveAs = file;
    // Nothing LubeLogger can take yet (no odometer, no price): said, and no file.
    presenter->OnExportForApp();
    ASSERT_EQ(view.saveRequests.size(), 1u);
    const SaveAsRequest& request = view.saveRequests[0];
    EXPECT_EQ(request.typeDescription, "LubeLogger用CSV");
    ASSERT_EQ(request.moreTypes.size(), 2u);
    EXPECT_EQ(request.moreTypes[1].description + request.moreTypes[1].pattern, "Fuelio用CSV*.csv");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text.rfind(NothingForAppText("LubeLogger"), 0), 0u)
        << view.boxes[0].text;
    EXPECT_FALSE(test::Exists(file));

    // Fuelio, with the odometer known in the later stretch only and a range reaching past the gap:
    // the earlier stretch's refuels are left out, and said.
    ASSERT_TRUE(presenter->OnEdit(0, kOdometerColumn, "52000"));
    const std::string from = *presenter->Shown()[19].isoDate;
    const std::string to = *presenter->Shown()[1].isoDate;
    presenter->ShowRange(from, to);
    view.boxes.clear();
    view.saveType = 2;
    presenter->OnExportForApp();
    // What the app is given: the range's records, oldest first, as the logbook holds them, and
    // the bytes as the export made them (UTF-8, not the list's CP932).
    const auto book = Open(LogbookAccess::kLook);
    const Vehicle vehicle = book->Vehicles().at(0);
    const auto records = book->Records(RecordQuery{vehicle.name, from, to});
    ASSERT_EQ(records.size(), 19u);
    const AppFile expected = ExportForApp(FuelApp::kFuelio, vehicle, records);
    ASSERT_EQ(expected.leftOut.size(), 5u);
    EXPECT_EQ(ReadBytes(file), expected.text);
    const auto reason = LeftOutReason(FuelApp::kFuelio, expected, vehicle.name);
    ASSERT_TRUE(reason);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, SavedText("app.csv") + "\n\n" + reason->ja);
    EXPECT_EQ(view.boxes[0].detail, reason->en);

    // Spritmonitor takes every refuel: saved, nothing more said. Cancelled: nothing at all.
    view.boxes.clear();
    view.saveType = 1;
    presenter->OnExportForApp();
    EXPECT_EQ(view.Texts(), std::vector<std::string>{SavedText("app.csv")});
    EXPECT_EQ(ReadBytes(file), ExportForApp(FuelApp::kSpritmonitor, vehicle, records).text);
    view.saveAs.reset();
    view.boxes.clear();
    presenter->OnExportForApp();
    EXPECT_TRUE(view.boxes.empty());
}

}  // namespace
}  // namespace odomei
