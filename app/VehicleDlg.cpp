#include "app/VehicleDlg.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

#include "app/DialogUnits.h"
#include "app/MessageBox.h"
#include "app/RowList.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The name-and-note dialog's controls, in dialog units of its kVehicleEditWidthDlu x
// kVehicleEditHeightDlu: the labels left of their fields, OK and キャンセル at the bottom right.
constexpr ControlTemplate kEditNameLabel{0, "IDC_STATIC", kVehicleNameLabel, 7, 9, 30, 8};
constexpr ControlTemplate kEditName{IDC_VEHICLE_NAME, "IDC_VEHICLE_NAME", "", 40, 7, 173, 14};
constexpr ControlTemplate kEditNoteLabel{0, "IDC_STATIC", kVehicleNoteLabel, 7, 28, 30, 8};
constexpr ControlTemplate kEditNote{IDC_VEHICLE_NOTE, "IDC_VEHICLE_NOTE", "", 40, 26, 173, 14};
constexpr ControlTemplate kEditOk{IDOK_EXIT, "IDOK", kPortOkText, 109, 49, 50, 14};
constexpr ControlTemplate kEditCancel{kIdCancel, "IDCANCEL", kPortCancelText, 163, 49, 50, 14};

// The longest a name or note may be typed (a note holds a plate and a model, not a letter).
constexpr int kMaxNameLength = 64;
constexpr int kMaxNoteLength = 200;

VehicleAsker& Asker() {
    static VehicleAsker asker;
    return asker;
}

// Places a control by its template, as the main window does.
void Place(QWidget* w, const ControlTemplate& t) {
    w->setObjectName(QString::fromUtf8(t.name));
    w->setProperty("controlId", t.id);
    w->setGeometry(DluToPixels(w->font(), t.x, t.y, t.width, t.height));
}

}  // namespace

VehicleAsker SetVehicleAsker(VehicleAsker asker) {
    VehicleAsker previous = std::move(Asker());
    Asker() = std::move(asker);
    return previous;
}

CVehicleDlg::CVehicleDlg(const VehicleRequest& request, QWidget* parent)
    : QDialog(parent), m_presenter(*this, request) {
    setWindowTitle(QString::fromUtf8(kVehiclesText));
    setFont(DialogFont());
    setFixedSize(DluToPixels(font(), 0, 0, kVehicleDlgWidthDlu, kVehicleDlgHeightDlu).size());

    // Template order, which is also the tab order.
    m_prompt = new QLabel(this);
    Place(m_prompt, kVehiclePrompt);
    m_prompt->setWordWrap(true);
    m_prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_list = new QTableWidget(this);
    Place(m_list, kVehicleList);
    MakeRowList(m_list);
    m_list->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
    QStringList captions;
    for (const std::string& caption : m_presenter.Captions()) captions << Q(caption);
    m_list->setColumnCount(static_cast<int>(captions.size()));
    m_list->setHorizontalHeaderLabels(captions);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, [this] {
        if (m_filling) return;
        const auto rows = m_list->selectionModel()->selectedRows();
        if (!rows.isEmpty()) m_presenter.Select(static_cast<std::size_t>(rows.first().row()));
    });
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        m_presenter.Select(static_cast<std::size_t>(row));
        m_presenter.OnChoose();
    });

    auto button = [this](const ControlTemplate& t) {
        auto* b = new QPushButton(this);
        Place(b, t);
        b->setText(QString::fromUtf8(t.text));
        b->setAutoDefault(false);
        return b;
    };
    m_btnChoose = button(kVehicleChoose);
    m_btnChoose->setDefault(true);  // Enter chooses
    m_btnAdd = button(kVehicleAdd);
    m_btnRename = button(kVehicleRename);
    m_btnRemove = button(kVehicleRemove);
    m_btnClose = button(kVehicleClose);
    connect(m_btnChoose, &QPushButton::clicked, this, &CVehicleDlg::accept);
    connect(m_btnAdd, &QPushButton::clicked, this, [this] { m_presenter.OnAdd(); });
    connect(m_btnRename, &QPushButton::clicked, this, [this] { m_presenter.OnRename(); });
    connect(m_btnRemove, &QPushButton::clicked, this, [this] { m_presenter.OnRemove(); });
    connect(m_btnClose, &QPushButton::clicked, this, &CVehicleDlg::reject);

    m_presenter.Start();

    // The question and why stand above the list: where they need more lines than the template's,
    // the list gives up the room.
    QString prompt = Q(m_presenter.Prompt());
    if (!m_presenter.Detail().empty()) prompt += "\n" + Q(m_presenter.Detail());
    m_prompt->setText(prompt);
    const int needed = m_prompt->heightForWidth(m_prompt->width());
    const int spare = m_list->height() / 2;
    if (needed > m_prompt->height()) {
        const int grow = std::min(needed - m_prompt->height(), spare);
        m_prompt->resize(m_prompt->width(), m_prompt->height() + grow);
        m_list->setGeometry(m_list->x(), m_list->y() + grow, m_list->width(),
                            m_list->height() - grow);
    }
    m_list->setFocus();
}

CVehicleDlg::~CVehicleDlg() = default;

QWidget* CVehicleDlg::GetDlgItem(int id) const {
    switch (id) {
        case IDC_VEHICLE_PROMPT: return m_prompt;
        case IDC_VEHICLE_LIST: return m_list;
        case IDOK_EXIT: return m_btnChoose;
        case IDC_VEHICLE_ADD: return m_btnAdd;
        case IDC_VEHICLE_RENAME: return m_btnRename;
        case IDC_VEHICLE_REMOVE: return m_btnRemove;
        case kIdCancel: return m_btnClose;
        default: return nullptr;
    }
}

void CVehicleDlg::accept() { m_presenter.OnChoose(); }

void CVehicleDlg::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    m_presenter.OnClose();
}

void CVehicleDlg::Close() {
    m_closing = true;
    if (m_presenter.Chosen()) {
        QDialog::accept();
    } else {
        QDialog::reject();
    }
}

void CVehicleDlg::Refresh() {
    m_filling = true;
    m_list->clearSelection();
    const int rows = static_cast<int>(m_presenter.RowCount());
    m_list->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const auto texts = m_presenter.RowTexts(static_cast<std::size_t>(r));
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            auto* item = new QTableWidgetItem(Q(texts[static_cast<std::size_t>(c)]));
            // The count right-aligned as figures are; the texts from the left.
            item->setTextAlignment(c == 2 ? Qt::AlignRight | Qt::AlignVCenter
                                          : Qt::AlignLeft | Qt::AlignVCenter);
            m_list->setItem(r, c, item);
        }
    }
    FitColumns();
    if (const auto selected = m_presenter.Selection()) {
        m_list->selectRow(static_cast<int>(*selected));
    }
    m_filling = false;
    m_btnChoose->setText(Q(m_presenter.ChooseText()));
    m_btnClose->setText(Q(m_presenter.CloseText()));
    m_btnChoose->setEnabled(m_presenter.CanChoose());
    m_btnRename->setEnabled(m_presenter.CanRename());
    m_btnRemove->setEnabled(m_presenter.CanRemove());
}

// Every column as wide as its texts, but the note: it takes what is left (at least a few
// characters, cut short with its whole text as the tip), so that the list needs no scroll bar.
void CVehicleDlg::FitColumns() {
    constexpr int kNoteColumn = 1;
    constexpr int kMinNoteChars = 6;
    m_list->resizeColumnsToContents();
    int others = 0;
    for (int c = 0; c < m_list->columnCount(); ++c) {
        if (c != kNoteColumn) others += m_list->columnWidth(c);
    }
    const int room = m_list->viewport()->width() - others;
    const int least = m_list->fontMetrics().averageCharWidth() * kMinNoteChars;
    m_list->setColumnWidth(kNoteColumn,
                           std::max(least, std::min(room, m_list->columnWidth(kNoteColumn))));
    for (int r = 0; r < m_list->rowCount(); ++r) {
        if (QTableWidgetItem* note = m_list->item(r, kNoteColumn)) note->setToolTip(note->text());
    }
}

int CVehicleDlg::Message(const std::string& text, unsigned flags, const std::string& detail) {
    return AfxMessageBox(text, flags, detail);
}

std::optional<VehicleEdit> CVehicleDlg::AskVehicle(const VehicleEdit& start, bool adding) {
    if (Asker()) return Asker()(start, adding);
    CVehicleEditDlg edit(start, adding, this);
    if (edit.exec() != QDialog::Accepted) return std::nullopt;
    return edit.Edit();
}

CVehicleEditDlg::CVehicleEditDlg(const VehicleEdit& start, bool adding, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(adding ? kVehicleAddCaption : kVehicleEditCaption));
    setFont(DialogFont());
    setFixedSize(DluToPixels(font(), 0, 0, kVehicleEditWidthDlu, kVehicleEditHeightDlu).size());

    auto* nameLabel = new QLabel(QString::fromUtf8(kEditNameLabel.text), this);
    Place(nameLabel, kEditNameLabel);
    m_name = new QLineEdit(Q(start.name), this);
    Place(m_name, kEditName);
    m_name->setMaxLength(kMaxNameLength);
    nameLabel->setBuddy(m_name);
    auto* noteLabel = new QLabel(QString::fromUtf8(kEditNoteLabel.text), this);
    Place(noteLabel, kEditNoteLabel);
    m_note = new QLineEdit(Q(start.note), this);
    Place(m_note, kEditNote);
    m_note->setMaxLength(kMaxNoteLength);
    noteLabel->setBuddy(m_note);
    auto* ok = new QPushButton(QString::fromUtf8(kEditOk.text), this);
    Place(ok, kEditOk);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8(kEditCancel.text), this);
    Place(cancel, kEditCancel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_name->setFocus();
    m_name->selectAll();
}

VehicleEdit CVehicleEditDlg::Edit() const {
    return {m_name->text().toStdString(), m_note->text().toStdString()};
}

}  // namespace odomei
