// The memory dialog: lists the unit's six memories and stores the current
// setting into one, recalls one, and moves all of them to and from a memory
// file. The list shows the model's picture of the memories (memUsed,
// memName); the slot worked on is the model's curMemory. The commands run
// on the unit off the GUI thread (UnitTasks.h); while one runs, the dialog
// starts no other and does not close.
#pragma once

#include <QDialog>
#include <QIcon>

class QPushButton;
class QTableWidget;

class CDlgMemory : public QDialog {
    Q_OBJECT

public:
    explicit CDlgMemory(QWidget* parent = nullptr);

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpList();
    void FillList();
    int SelectedRow() const;  // the row when exactly one is selected, else -1
    void EnableForSlot(int slot);
    void ShowSelectProgram();
    void ShowFailure(const char* text);
    void FollowUnitBusy(bool busy);

    void OnListClicked();
    void OnSelectionChanged();
    void OnStore();
    void OnRecall();
    void OnDelete();
    void OnOpenFile();
    void OnSaveFile();

    QTableWidget* list_;
    QPushButton* store_;
    QPushButton* recall_;
    QPushButton* delete_;
    QPushButton* openFile_ = nullptr;
    QPushButton* saveFile_ = nullptr;
    QPushButton* exit_ = nullptr;
    QIcon usedIcon_;
    QIcon emptyIcon_;
};
