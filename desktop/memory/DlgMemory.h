// The memory dialog: lists six memories and stores the current setting into
// one, recalls one; for the unit it also moves all of them to and from a
// memory file, for a document it renames and deletes one. Where the
// memories live is its MemoryPlace: the unit (the default, the model's
// picture of its memories) or the open document. The slot worked on is the
// model's curMemory. The unit's commands run off the GUI thread
// (UnitTasks.h); while one runs, the dialog starts no other and does not
// close.
#pragma once

#include <QDialog>
#include <QIcon>

class MemoryPlace;
class QPushButton;
class QTableWidget;

class CDlgMemory : public QDialog {
    Q_OBJECT

public:
    explicit CDlgMemory(QWidget* parent = nullptr);
    CDlgMemory(MemoryPlace& place, QWidget* parent);

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpList();
    void FillList();
    int SelectedRow() const;  // the row when exactly one is selected, else -1
    void EnableForSlot(int slot);
    void ShowSelectProgram();
    // The selected slot, or 0 once the person was asked to select one.
    int SelectedSlotOrAsk();
    QString NamedSlot(int slot) const;
    bool Confirmed(const QString& question);
    void ShowFailure(const char* text);
    void FollowUnitBusy(bool busy);

    void OnListClicked();
    void OnSelectionChanged();
    void OnStore();
    void OnRecall();
    void OnDelete();
    void OnRename();
    void OnOpenFile();
    void OnSaveFile();

    MemoryPlace& place_;
    QTableWidget* list_;
    QPushButton* store_;
    QPushButton* recall_;
    QPushButton* delete_;
    QPushButton* rename_ = nullptr;
    QPushButton* openFile_ = nullptr;
    QPushButton* saveFile_ = nullptr;
    QPushButton* exit_ = nullptr;
    QIcon usedIcon_;
    QIcon emptyIcon_;
};
