#include "memory/DlgMemory.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "app/DialogUnits.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "memory/DlgStore.h"
#include "memory/MemoryFileDialogs.h"
#include "memory/MemoryTexts.h"
#include "memory/SlotIcons.h"
#include "memory/UnitMemories.h"

namespace {

QString TrimmedRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    return text.left(end);
}

QPushButton* AddButton(QWidget* dialog, const char* text, const char* name, int y)
{
    auto* button = new QPushButton(QString::fromLatin1(text), dialog);
    button->setObjectName(QString::fromLatin1(name));
    PlaceInDialogUnits(button, 167, y, 55, 14);
    return button;
}

}  // namespace

CDlgMemory::CDlgMemory(QWidget* parent) : CDlgMemory(TheUnitMemories(), parent) {}

CDlgMemory::CDlgMemory(MemoryPlace& place, QWidget* parent)
    : QDialog(parent),
      place_(place),
      list_(new QTableWidget(this)),
      store_(AddButton(this, "Store", "store", 7)),
      recall_(AddButton(this, "Recall", "recall", 25)),
      delete_(AddButton(this, "Delete", "delete", 43)),
      usedIcon_(SlotIcon(kSlotImageUsed)),
      emptyIcon_(SlotIcon(kSlotImageEmpty))
{
    setWindowTitle(QStringLiteral("Memory"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(229, 127));

    openFile_ = AddButton(this, "Open File", "openFile", 61);
    saveFile_ = AddButton(this, "Save File", "saveFile", 79);
    rename_ = AddButton(this, "Rename", "rename", 43);
    const MemoryPlaceCommands commands = place_.Commands();
    openFile_->setVisible(commands.fileTransfers);
    saveFile_->setVisible(commands.fileTransfers);
    rename_->setVisible(commands.renameAndDelete);
    // The unit's list keeps Delete for the template's sake and never shows
    // it; a document's shows it where Open File would be.
    delete_->setVisible(commands.renameAndDelete);
    PlaceInDialogUnits(delete_, 167, 61, 55, 14);
    exit_ = AddButton(this, "Exit", "exit", 106);
    exit_->setDefault(true);  // Enter closes the dialog, as its OK button

    connect(store_, &QPushButton::clicked, this, &CDlgMemory::OnStore);
    connect(recall_, &QPushButton::clicked, this, &CDlgMemory::OnRecall);
    connect(delete_, &QPushButton::clicked, this, &CDlgMemory::OnDelete);
    connect(rename_, &QPushButton::clicked, this, &CDlgMemory::OnRename);
    connect(openFile_, &QPushButton::clicked, this, &CDlgMemory::OnOpenFile);
    connect(saveFile_, &QPushButton::clicked, this, &CDlgMemory::OnSaveFile);
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
    connect(&UnitTasks(), &UnitTaskRunner::busyChanged, this, &CDlgMemory::FollowUnitBusy);

    SetUpList();
    FillList();
}

void CDlgMemory::SetUpList()
{
    list_->setObjectName(QStringLiteral("memoryList"));
    PlaceInDialogUnits(list_, 7, 7, 152, 113);
    list_->setColumnCount(2);
    list_->setHorizontalHeaderLabels({QStringLiteral("Prog"), QStringLiteral("Memory")});
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->verticalHeader()->hide();
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setIconSize(QSize(16, 16));
    // Rows as tight as a report list's, so all six slots show without scrolling.
    list_->verticalHeader()->setDefaultSectionSize(qMax(16, list_->fontMetrics().height()) + 4);

    const int w = list_->contentsRect().width() / 10;
    list_->setColumnWidth(0, 3 * w);
    list_->setColumnWidth(1, 7 * w - 10);

    list_->viewport()->installEventFilter(this);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &CDlgMemory::OnSelectionChanged);
}

void CDlgMemory::FillList()
{
    list_->setRowCount(0);
    list_->setRowCount(kMemorySlots);
    for (int row = 0; row < kMemorySlots; ++row) {
        const bool used = place_.Used(row + 1);
        list_->setItem(row, 0, new QTableWidgetItem(used ? usedIcon_ : emptyIcon_, QString::asprintf("%i", row + 1)));
        list_->setItem(row, 1, new QTableWidgetItem(place_.Name(row + 1)));
    }
    model.curMemory = std::clamp(model.curMemory, 1, kMemorySlots);
    list_->selectRow(model.curMemory - 1);
    recall_->setEnabled(place_.Used(model.curMemory));
}

int CDlgMemory::SelectedRow() const
{
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
}

void CDlgMemory::EnableForSlot(int slot)
{
    const bool used = place_.Used(slot);
    delete_->setEnabled(used);
    rename_->setEnabled(used);
    recall_->setEnabled(used);
}

// While the unit works on one of the dialog's commands, the dialog starts no
// other and stays open: its progress window has the Cancel.
void CDlgMemory::FollowUnitBusy(bool busy)
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{list_, openFile_, saveFile_, exit_, store_, recall_, delete_, rename_})
        control->setEnabled(!busy);
    if (!busy) OnListClicked();  // Store, Recall and Delete follow the selection again
}

void CDlgMemory::reject()
{
    if (!UnitTasks().Busy()) QDialog::reject();
}

bool CDlgMemory::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_->viewport()) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress &&
            !list_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid()) {
            // A click beside the rows selects nothing, as in a report list.
            list_->clearSelection();
        } else if (type == QEvent::MouseButtonRelease) {
            OnListClicked();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDlgMemory::OnListClicked()
{
    const int row = SelectedRow();
    if (row < 0) {
        store_->setEnabled(false);
        delete_->setEnabled(false);
        rename_->setEnabled(false);
        recall_->setEnabled(false);
        return;
    }
    store_->setEnabled(true);
    model.curMemory = row + 1;
    EnableForSlot(model.curMemory);
}

void CDlgMemory::OnSelectionChanged()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    model.curMemory = row + 1;
    EnableForSlot(model.curMemory);
}

void CDlgMemory::ShowSelectProgram()
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(memory_text::kApplicationTitle),
                    QString::fromLatin1(memory_text::kSelectProgram), QMessageBox::Ok, this);
    box.exec();
}

int CDlgMemory::SelectedSlotOrAsk()
{
    const int row = SelectedRow();
    if (row < 0) {
        ShowSelectProgram();
        return 0;
    }
    return row + 1;
}

// "2 (Show A)"
QString CDlgMemory::NamedSlot(int slot) const
{
    return QStringLiteral("%1 (%2)").arg(slot).arg(TrimmedRight(place_.Name(slot)));
}

// Anything but Yes (the default is No) declines: a stray Enter changes nothing.
bool CDlgMemory::Confirmed(const QString& question)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(memory_text::kOverwriteCaption), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CDlgMemory::ShowFailure(const char* text)
{
    QMessageBox::critical(this, QString::fromLatin1(memory_text::kFailureCaption), QString::fromLatin1(text));
}

void CDlgMemory::OnStore()
{
    const int slot = SelectedSlotOrAsk();
    if (slot == 0) {
        return;
    }
    model.curMemory = slot;

    CDlgStore storeDialog(this);
    storeDialog.SetSlot(slot);
    const QString current = TrimmedRight(place_.Name(slot));
    storeDialog.SetName(current.isEmpty() ? QString::fromLatin1(memory_text::kDefaultStoreName) : current);
    if (storeDialog.exec() != QDialog::Accepted) {
        return;
    }
    // Trailing blanks and the name of a blank entry are settled by the store itself.
    const QString name = storeDialog.Name();
    if (place_.Used(slot) && !Confirmed(QString::fromLatin1(memory_text::kOverwriteQuestion) + QLatin1Char('\n') +
                                        QStringLiteral("Memory %1 will be replaced.").arg(NamedSlot(slot)))) {
        return;
    }
    place_.Store(this, slot, name, [this](MemoryOutcome outcome) {
        if (outcome == MemoryOutcome::Cancelled) {
            return;
        }
        if (outcome == MemoryOutcome::Failed) {
            ShowFailure(memory_text::kStoreFailed);
        }
        accept();
    });
}

void CDlgMemory::OnRecall()
{
    if (!Confirmed(QStringLiteral("Recall memory %1?\nThe current setting will be replaced.")
                       .arg(NamedSlot(model.curMemory)))) {
        return;
    }
    place_.Recall(this, model.curMemory, [this](MemoryOutcome outcome) {
        if (outcome == MemoryOutcome::Cancelled) {
            return;
        }
        if (outcome == MemoryOutcome::Failed) {
            ShowFailure(memory_text::kRecallFailed);
            return;
        }
        accept();
    });
}

void CDlgMemory::OnDelete()
{
    const int slot = SelectedSlotOrAsk();
    if (slot == 0) {
        return;
    }
    model.curMemory = slot;
    if (!Confirmed(QStringLiteral("Delete memory %1?\nIts setting will be lost.").arg(NamedSlot(slot)))) {
        return;
    }
    place_.Delete(this, slot, [this](MemoryOutcome outcome) {
        if (outcome == MemoryOutcome::Failed) {
            ShowFailure(memory_text::kEraseFailed);
        }
        FillList();
    });
}

void CDlgMemory::OnRename()
{
    const int slot = SelectedSlotOrAsk();
    if (slot == 0) {
        return;
    }
    CDlgStore nameDialog(this);
    nameDialog.setWindowTitle(QStringLiteral("Rename Memory"));
    nameDialog.SetSlot(slot);
    nameDialog.SetName(TrimmedRight(place_.Name(slot)));
    if (nameDialog.exec() == QDialog::Accepted) {
        place_.Rename(slot, nameDialog.Name());
        FillList();
    }
}

void CDlgMemory::OnOpenFile()
{
    LoadMemoryFile(this, [this] { FillList(); });
}

void CDlgMemory::OnSaveFile() { SaveMemoryFile(this); }
