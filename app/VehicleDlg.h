// The vehicle dialog: the logbook's vehicles in a list with 選択, 追加..., 変更..., 削除 and
// 閉じる, placed by ui/Texts.h's templates; after a read that cannot be kept with the selected
// vehicle, the same dialog asks where it goes (its question above the list). And the small
// name-and-note dialog that adding and renaming open. Both draw what ui/VehiclePresenter.h decides.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "ui/VehiclePresenter.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace odomei {

class CVehicleDlg : public QDialog, private VehicleView {
    Q_OBJECT
public:
    explicit CVehicleDlg(const VehicleRequest& request, QWidget* parent = nullptr);
    ~CVehicleDlg() override;

    const VehiclePresenter& Presenter() const { return m_presenter; }
    // The vehicle chosen; nothing when the dialog was closed without a choice.
    const std::optional<std::string>& Chosen() const { return m_presenter.Chosen(); }
    QWidget* GetDlgItem(int id) const;

public slots:
    void accept() override;
    void reject() override;

private:
    // The view.
    void Refresh() override;
    int Message(const std::string& text, unsigned flags, const std::string& detail) override;
    std::optional<VehicleEdit> AskVehicle(const VehicleEdit& start, bool adding) override;
    void Close() override;
    void FitColumns();

    VehiclePresenter m_presenter;
    QLabel* m_prompt = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_btnChoose = nullptr;
    QPushButton* m_btnAdd = nullptr;
    QPushButton* m_btnRename = nullptr;
    QPushButton* m_btnRemove = nullptr;
    QPushButton* m_btnClose = nullptr;
    bool m_filling = false;  // rows being drawn: no selection to forward
    bool m_closing = false;
};

// The name-and-note dialog: 名前 and メモ, OK and キャンセル.
class CVehicleEditDlg : public QDialog {
    Q_OBJECT
public:
    CVehicleEditDlg(const VehicleEdit& start, bool adding, QWidget* parent = nullptr);

    VehicleEdit Edit() const;
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* NoteEdit() const { return m_note; }

private:
    QLineEdit* m_name = nullptr;
    QLineEdit* m_note = nullptr;
};

// How the vehicle dialog asks for a name and note (tests answer without a dialog); returns the one
// replaced. Empty: CVehicleEditDlg.
using VehicleAsker = std::function<std::optional<VehicleEdit>(const VehicleEdit&, bool)>;
VehicleAsker SetVehicleAsker(VehicleAsker asker);

}  // namespace odomei
