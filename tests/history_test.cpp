// The logbook through the window: reads land in it, a logbook that cannot be used costs no read,
// and the history window shows the records, the summary, the charts, and exports them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include "app/ChartWidget.h"
#include "app/HistoryDlg.h"
#include "data/AppExport.h"
#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "platform/Profile.h"
#include "tests/MeterWindow.h"
#include "ui/ChartSvg.h"
#include "ui/HistoryText.h"

namespace odomei {
namespace {

class History : public test::MeterWindowTest {
protected:
    // Reads the meter through the window with the block of read k of the simulated months.
    void ReadSequence(int k) {
        metersim::Options options;
        const auto answer = metersim::SequenceBlock(k);
        options.answer.assign(answer.begin(), answer.end());
        options.pace = false;
        meter.reset();
        meter = std::make_unique<test::MeterLine>(dir, options);
        ASSERT_TRUE(meter->Started());
        if (Count() != 0) {
            boxes.Answer(kIdYes);
            dlg->OnClear();
        }
        boxes.Clear();
        Read();
        ASSERT_TRUE(Messages().empty()) << Messages()[0];
    }
    std::unique_ptr<Logbook> Book() {
        Failure error;
        auto book = Logbook::Open(dir.File(kLogbookFileName), &error);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        return book;
    }
};

TEST_F(History, EveryReadOfTheWindowLandsInTheLogbookOnce) {
    Start();
    ReadSequence(0);
    ReadSequence(2);
    ReadSequence(2);
    EXPECT_EQ(Book()->CountRecords(), 21);
    EXPECT_EQ(Book()->CountReads(), 3);
    // The list is what the read gave, untouched by the logbook.
    EXPECT_EQ(Rows(), 15);
}

TEST_F(History, ALogbookThatIsNoDatabaseCostsNoReadAndIsNotTouched) {
    const std::string noise(3000, '\x5A');
    test::WriteBytes(dir.File(kLogbookFileName), noise);
    Start();
    Read();
    EXPECT_EQ(Messages(), std::vector<std::string>{kLogbookWriteFailedText});
    EXPECT_EQ(boxes.Calls().back().flags, kMbIconHand);
    EXPECT_NE(boxes.Calls().back().detail.find(kLogbookFileName), std::string::npos);
    ExpectFilled();
    EXPECT_EQ(test::ReadBytes(dir.File(kLogbookFileName)), noise);
    // Asked for the history, the window says it cannot open it.
    boxes.Clear();
    dlg->OnHistory();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kLogbookOpenFailedText});
}

TEST_F(History, TheWindowShowsNewestFirstWithTheSummaryChartsAndUnit) {
    Start();
    for (int k = 0; k < 4; ++k) ReadSequence(k);  // refuels 0 to 23
    auto book = Book();
    CHistoryDlg history(*book, {}, dir.File("KORVANA.ini"), dir.Path());
    history.show();
    QApplication::processEvents();
    ASSERT_EQ(history.Shown().size(), 24u);
    EXPECT_GT(*history.Shown().front().isoDate, *history.Shown().back().isoDate);
    auto* table = history.findChild<QTableView*>();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->model()->rowCount(), 24);
    EXPECT_EQ(table->model()->index(0, 1).data().toString().toStdString(),
              history.Shown().front().texts.m_strDate);
    EXPECT_EQ(table->model()->headerData(7, Qt::Horizontal).toString(), "km/L(実)");
    const QString summary = history.SummaryText();
    EXPECT_TRUE(summary.contains("記録 24 件")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("推奨補正値 101.")) << summary.toStdString();
    // Two charts: the economies as two lines, the errors and the factor in force.
    const auto views = history.findChildren<CChartWidget*>();
    ASSERT_EQ(views.size(), 2);
    EXPECT_EQ(views[0]->Kind(), ChartKind::kEconomy);
    EXPECT_EQ(views[1]->Kind(), ChartKind::kError);
    ASSERT_NE(views[0]->Model(), nullptr);
    EXPECT_EQ(views[0]->Model()->Economy().size(), 24u);
    EXPECT_EQ(views[0]->Model()->EconomyByMeter().size(), 24u);
    EXPECT_EQ(views[1]->Model()->Error().size(), 24u);
    for (const CChartWidget* view : views) {
        // Laid out at the widget's own size, with both series drawn.
        const ChartScene scene = view->Scene();
        EXPECT_EQ(scene.width, view->width());
        EXPECT_EQ(scene.height, view->height());
        EXPECT_EQ(std::count_if(
                      scene.items.begin(), scene.items.end(),
                      [](const ChartItem& i) { return std::holds_alternative<ChartPolyline>(i); }),
                  2);
    }
    const double economyAt = views[0]->Model()->Economy().back().value;

    // L/100 km, remembered in the INI file.
    history.SetPerHundredKm(true);
    EXPECT_EQ(table->model()->headerData(7, Qt::Horizontal).toString(), "L/100km(実)");
    EXPECT_EQ(ReadIniString("Logbook", "Units", dir.File("KORVANA.ini")), "L/100km");
    // The charts follow the unit.
    EXPECT_DOUBLE_EQ(views[0]->Model()->Economy().back().value, 100.0 / economyAt);
    // A range keeps its days only.
    history.SetRange("2013-02-01", "2013-02-28");
    for (const auto& r : history.Shown()) EXPECT_EQ(r.isoDate->substr(0, 7), "2013-02");
    EXPECT_EQ(history.Summary().records, static_cast<int>(history.Shown().size()));
}

TEST(HistoryGap, TheTableMarksTheGapOnARowBetweenTheTwoRecords) {
    // Reads 0 and 5 of the simulated months have nothing in common.
    test::TempDir dir;
    const std::string path = dir.File(kLogbookFileName);
    Failure error;
    {
        auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
        ASSERT_NE(book, nullptr) << FailureLine(error);
        for (int k : {0, 5}) {
            const auto block = metersim::SequenceBlock(k);
            ASSERT_TRUE(
                book->Merge(DecodeReading(block), LocalTime{2026, 12, 7, 10, 0, 0, 0}, {}, &error))
                << FailureLine(error);
        }
    }
    auto book = Logbook::Open(path, &error);
    CHistoryDlg history(*book, {}, {}, dir.Path());
    auto* table = history.findChild<QTableView*>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->model()->rowCount(), 31);
    EXPECT_EQ(table->model()->index(14, 0).data().toString(), "16");
    EXPECT_EQ(table->model()->index(15, 1).data().toString().toStdString(), kGapMarkerText);
    EXPECT_EQ(table->model()->index(15, 2).data().toString(), "");
    EXPECT_EQ(table->model()->index(16, 0).data().toString(), "15");
    EXPECT_TRUE(history.SummaryText().contains(QString::fromUtf8(kGapMarkerText)));
}

TEST_F(History, ExportWritesTheShownRecordsOldestFirstAsTheWindowsCsv) {
    Start();
    ReadSequence(0);
    ReadSequence(1);
    auto book = Book();
    CHistoryDlg history(*book, {}, dir.File("KORVANA.ini"), dir.Path());
    test::ScriptedSaveAs saveAs;
    saveAs.Choose(dir.File("all.csv"));
    boxes.Clear();
    history.OnExport();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"\"all.csv\"を保存しました。"});
    std::vector<RecordRow> rows;
    for (const auto& r : book->Records()) rows.push_back(r.texts);
    ASSERT_EQ(rows.size(), 18u);
    EXPECT_EQ(test::ReadBytes(dir.File("all.csv")), Sjis(CsvText(rows)));

    // A text an older version stored unchecked, with no CP932 form: a write failure, and the
    // file saved before is left as it was.
    test::StoreUncheckedRecord(dir.File(kLogbookFileName),
                               {"2015年01月09日😀", "1.00", "1.00", "100.00", "1.00", "0.00"});
    CHistoryDlg again(*book, {}, dir.File("KORVANA.ini"), dir.Path());
    boxes.Clear();
    again.OnExport();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"ファイルの書き込みに失敗しました"});
    EXPECT_EQ(test::ReadBytes(dir.File("all.csv")), Sjis(CsvText(rows)));
}

TEST_F(History, TheChartsArePaintedAndSavedAsOneWellFormedSvg) {
    Start();
    ReadSequence(0);
    ReadSequence(1);
    auto book = Book();
    CHistoryDlg history(*book, {}, dir.File("KORVANA.ini"), dir.Path());
    history.resize(1000, 800);
    history.show();
    QApplication::processEvents();
    // The painter draws the model's series in their colours.
    const auto views = history.findChildren<CChartWidget*>();
    ASSERT_EQ(views.size(), 2);
    const QImage image = views[0]->grab().toImage();
    auto holds = [&image](ChartColour c) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(c.r, c.g, c.b)) return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(holds(kEconomyColour));
    EXPECT_TRUE(holds(kMeterColour));

    test::ScriptedSaveAs saveAs;
    saveAs.Choose(dir.File("charts.svg"));
    boxes.Clear();
    history.OnSaveCharts();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"\"charts.svg\"を保存しました。"});
    const std::string svg = test::ReadBytes(dir.File("charts.svg"));
    QXmlStreamReader xml(QByteArray::fromStdString(svg));
    int polylines = 0;
    QStringList texts;
    QString width, height;
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"svg") {
            width = xml.attributes().value(QStringLiteral("width")).toString();
            height = xml.attributes().value(QStringLiteral("height")).toString();
        }
        if (xml.name() == u"polyline") ++polylines;
        if (xml.name() == u"text") texts << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(width.toInt(), kSavedChartWidth);
    EXPECT_EQ(height.toInt(), 2 * kSavedChartHeight);
    EXPECT_EQ(polylines, 4);  // both charts, two series each
    for (const char* name :
         {kEconomySeriesText, kMeterSeriesText, kErrorSeriesText, kFactorSeriesText}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(name))) << name;
    }
    // With no record shown there is nothing to save, and no question.
    history.SetRange("1990-01-01", "1990-01-02");
    boxes.Clear();
    history.OnSaveCharts();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kNothingToSave});
}

TEST_F(History, TheWindowLooksWithoutCreatingAndSaysWhatItCannotRead) {
    Start();
    // Nothing read yet: the window says so, and makes no file.
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* history = qobject_cast<CHistoryDlg*>(QApplication::activeModalWidget())) {
            shown = history->SummaryText();
            history->close();
        }
    });
    dlg->OnHistory();
    EXPECT_EQ(shown.toStdString(), kNoRecordsYetText);
    EXPECT_FALSE(test::Exists(dir.File(kLogbookFileName)));
    // Records that cannot be read: the failure, not an empty history.
    ReadSequence(0);
    test::SpoilPagesAfterFirst(dir.File(kLogbookFileName));
    CHistoryDlg history(*Book(), {}, dir.File("KORVANA.ini"), dir.Path());
    EXPECT_TRUE(history.SummaryText().startsWith(QString::fromUtf8(kLogbookOpenFailedText)))
        << history.SummaryText().toStdString();
    EXPECT_TRUE(history.Shown().empty());
}

TEST_F(History, TheHistoryButtonStandsUnderReadAfterTheFourButtonsInTabOrder) {
    Start();
    QWidget* history = dlg->GetDlgItem(IDC_HISTORY);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(qobject_cast<QPushButton*>(history)->text(), "履歴");
    EXPECT_EQ(history->x(), dlg->GetDlgItem(IDC_READ)->x());
    EXPECT_EQ(history->width(), dlg->GetDlgItem(IDC_READ)->width());
    EXPECT_GT(history->y(), dlg->GetDlgItem(IDC_READ)->geometry().bottom());
    EXPECT_EQ(dlg->GetDlgItem(IDC_CLEAR)->nextInFocusChain(), history);
    EXPECT_TRUE(history->isEnabled());
}

TEST_F(History, TheSelectorShowsOneVehicleAtATime) {
    Start();
    ReadSequence(0);
    {
        Failure error;
        auto book = Logbook::Open(dir.File(kLogbookFileName), &error, LogbookAccess::kWrite);
        ASSERT_TRUE(book->AddVehicle("軽トラ", {}, &error)) << FailureLine(error);
    }
    const auto book = Book();
    CHistoryDlg history(*book, "軽トラ", dir.File("KORVANA.ini"), dir.Path());
    auto* selector = history.findChild<QComboBox*>("IDC_HISTORY_VEHICLE");
    ASSERT_NE(selector, nullptr);
    ASSERT_EQ(selector->count(), 2);
    EXPECT_EQ(selector->itemText(0).toStdString(), kFirstVehicleName);
    EXPECT_EQ(selector->currentIndex(), 1);
    EXPECT_TRUE(history.Shown().empty());
    EXPECT_EQ(history.SummaryText().toStdString(), kNoRecordsYetText);
    selector->setCurrentIndex(0);
    EXPECT_EQ(history.Shown().size(), 15u);
}

// A history window on a logbook of one read, with the message boxes scripted.
class HistoryCells : public ::testing::Test {
protected:
    void SetUp() override {
        Failure error;
        {
            auto writable = Logbook::Open(path, &error, LogbookAccess::kWrite);
            ASSERT_NE(writable, nullptr) << FailureLine(error);
            ASSERT_TRUE(writable->Merge(DecodeReading(metersim::SequenceBlock(0)),
                                        LocalTime{2026, 12, 7, 10, 0, 0, 0}, {}, &error))
                << FailureLine(error);
        }
        book = Logbook::Open(path, &error);
        history = std::make_unique<CHistoryDlg>(*book, "", "", dir.Path());
        history->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(history.get()));
        table = history->findChild<QTableView*>();
        ASSERT_NE(table, nullptr);
    }
    QString Cell(int row, int column) const {
        return table->model()->index(row, column).data().toString();
    }
    // The editor open on a cell, if any.
    QLineEdit* Editor(int row, int column) const {
        return qobject_cast<QLineEdit*>(table->indexWidget(table->model()->index(row, column)));
    }
    QPoint At(int row, int column) const {
        const QModelIndex index = table->model()->index(row, column);
        table->scrollTo(index);
        return table->visualRect(index).center();
    }
    // A double click on a cell, as a user gives it: a click, then the double click.
    void DoubleClick(int row, int column) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, At(row, column));
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, At(row, column));
    }
    // Types text into the editor open on the cell and ends with key.
    void Type(int row, int column, const QString& text, Qt::Key key) {
        QLineEdit* editor = Editor(row, column);
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, key);
        // The editor commits and closes on a queued call, and the text is stored on another
        // queued after it.
        for (int round = 0; round < 3; ++round) QApplication::processEvents();
        EXPECT_EQ(Editor(row, column), nullptr);
    }
    std::optional<Price> StoredPrice(int row) {
        Failure error;
        const auto records = Logbook::Open(path, &error)->Records();
        return records[records.size() - 1 - static_cast<std::size_t>(row)].price;
    }

    test::TempDir dir;
    std::string path = dir.File(kLogbookFileName);
    test::ScriptedMessageBoxes boxes;
    std::unique_ptr<Logbook> book;
    std::unique_ptr<CHistoryDlg> history;
    QTableView* table = nullptr;
};

TEST_F(HistoryCells, APriceOrOdometerCellIsTypedIntoInPlaceAndTheSelectionStays) {
    // A double click opens the price's editor; Enter stores what was typed.
    DoubleClick(0, kPricePerLitreColumn);
    Type(0, kPricePerLitreColumn, "170", Qt::Key_Return);
    EXPECT_EQ(StoredPrice(0), (Price{PriceKind::kPerLitre, 17000}));
    EXPECT_EQ(Cell(0, kPricePerLitreColumn), "170.00");
    EXPECT_NE(Cell(0, kCostColumn), "");
    EXPECT_TRUE(history->SummaryText().contains("価格のある記録 1 件から"));
    EXPECT_TRUE(table->selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(table->currentIndex().row(), 0);

    // Esc leaves the old value.
    DoubleClick(1, kCostColumn);
    Type(1, kCostColumn, "999", Qt::Key_Escape);
    EXPECT_EQ(Cell(1, kCostColumn), "");
    EXPECT_EQ(StoredPrice(1), std::nullopt);

    // F2 on the current cell; a text that is no reading keeps the old one and says why.
    table->setCurrentIndex(table->model()->index(2, kOdometerColumn));
    QTest::keyClick(table, Qt::Key_F2);
    Type(2, kOdometerColumn, "12a", Qt::Key_Return);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kOdometerProblemText});
    EXPECT_EQ(Cell(2, kOdometerColumn), "");
    // Given a reading, every row of the stretch shows its own.
    table->setCurrentIndex(table->model()->index(2, kOdometerColumn));
    QTest::keyClick(table, Qt::Key_F2);
    Type(2, kOdometerColumn, "48210", Qt::Key_Enter);
    EXPECT_EQ(Cell(2, kOdometerColumn), "48210");
    EXPECT_NE(Cell(14, kOdometerColumn), "");
    EXPECT_TRUE(table->selectionModel()->isRowSelected(2, {}));

    // The meter's own figures are no one's to type.
    DoubleClick(0, 2);
    EXPECT_EQ(Editor(0, 2), nullptr);
    EXPECT_EQ(boxes.Calls().size(), 1u);
}

TEST_F(HistoryCells, TheAppButtonFollowsTheSaveAndWritesTheAppChosenAsTheType) {
    auto* button = history->findChild<QPushButton*>(QStringLiteral("exportForApp"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), kExportForAppText);
    QPushButton* save = nullptr;
    for (auto* b : history->findChildren<QPushButton*>()) {
        if (b->text().toStdString() == kHistoryExportText) save = b;
    }
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->nextInFocusChain(), button);
    EXPECT_EQ(button->y(), save->y());
    EXPECT_GT(button->x(), save->geometry().right());
    EXPECT_GE(button->width(), button->sizeHint().width());
    // At its smallest the window cuts no caption and no date, and the columns fill the table.
    history->resize(history->minimumSize());
    QApplication::processEvents();
    int widths = 0;
    for (int c = 0; c < kHistoryColumnCount; ++c) {
        EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->sectionSizeHint(c)) << c;
        widths += table->columnWidth(c);
    }
    EXPECT_GE(table->columnWidth(1), QFontMetrics(table->font()).horizontalAdvance(Cell(0, 1)));
    EXPECT_EQ(widths, table->viewport()->width());

    test::ScriptedSaveAs saveAs;
    saveAs.Choose(dir.File("sprit.csv"), 1);
    button->click();
    ASSERT_EQ(saveAs.Requests().size(), 1u);
    EXPECT_EQ(saveAs.Requests()[0].moreTypes.size(), 2u);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{SavedText("sprit.csv")});
    EXPECT_EQ(test::ReadBytes(dir.File("sprit.csv")),
              ExportForApp(FuelApp::kSpritmonitor, book->Vehicles().at(0), book->Records()).text);
}

TEST(SaveAsTypes, TheDialogOffersEveryTypeAndTellsWhichWasChosenAPatternKeepingIt) {
    test::TempDir dir;
    const SaveAsHook unscripted = SetSaveAsHook({});  // the dialog itself
    SaveAsRequest request;
    request.initialName = "*.csv";
    request.typeDescription = "A";
    request.typePattern = "*.csv";
    request.directory = dir.Path();
    request.moreTypes = {{"B", "*.csv"}, {"C", "*.txt"}};
    QStringList offered, narrowed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->nameFilters();
        dialog->selectNameFilter(offered.value(2));
        // A pattern typed as the name narrows the list, the type chosen staying chosen.
        dialog->selectFile(QStringLiteral("*.dat"));
        static_cast<QDialog*>(dialog)->accept();
        narrowed = dialog->nameFilters();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->selectedNameFilter(), "C");  // the details are hidden
        dialog->selectFile(QString::fromStdString(dir.File("c.txt")));
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = ShowSaveAsDialog(request);
    SetSaveAsHook(unscripted);
    EXPECT_EQ(offered, (QStringList{"A (*.csv)", "B (*.csv)", "C (*.txt)"}));
    EXPECT_EQ(narrowed, (QStringList{"A (*.dat)", "B (*.dat)", "C (*.dat)"}));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->type, 2u);
    EXPECT_EQ(chosen->fileName, "c.txt");
}

}  // namespace
}  // namespace odomei
