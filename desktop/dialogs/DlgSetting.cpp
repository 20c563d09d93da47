#include "dialogs/DlgSetting.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/EditHistory.h"
#include "app/UnitLink.h"
#include "dialogs/ChannelSettings.h"
#include "dialogs/DlgOutput.h"

CDlgSetting::CDlgSetting(QWidget* owner) : QDialog(owner), tabs_(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("Device"));
    // The pages show their own titles; "&&" is a single ampersand on a tab.
    for (const auto& [slot, title] : {std::pair{kSlotLeftRight, "Left&&Right"}, std::pair{kSlotSub, "Sub Chan"}}) {
        auto* page = new CDlgOutput(slot, QString::fromLatin1(title));
        page->setMinimumSize(page->size());
        tabs_->addTab(page, page->title());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The main window's Undo and Redo keys work while the sheet is open.
    EditHistory::AddCommandsTo(this);
}

void CDlgSetting::SetStartPageForSlot(int slot) { tabs_->setCurrentIndex(slot == kSlotSub ? 1 : 0); }

CDlgOutput* CDlgSetting::page(int index) const { return qobject_cast<CDlgOutput*>(tabs_->widget(index)); }

void ShowChannelSettings(int slot, QWidget* owner)
{
    CDlgSetting sheet(owner);
    sheet.SetStartPageForSlot(slot);
    sheet.exec();
}
