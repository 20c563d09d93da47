#include "memory/DlgStore.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/DialogUnits.h"
#include "memory/MemoryTexts.h"
#include "app/UnitLink.h"

namespace {

// The unit shows only 7-bit characters; anything printable beyond them is
// refused as it is typed. Control keys (backspace, editing shortcuts) insert
// nothing and pass.
bool InsertsForeignCharacter(const QString& typed)
{
    for (const QChar c : typed) {
        if (c.isPrint() && (c.unicode() < 0x20 || c.unicode() > 0x7F)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CDlgStore::CDlgStore(QWidget* parent) : QDialog(parent), label_(new QLabel(this)), nameEdit_(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Store to Memory"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(186, 81));

    label_->setObjectName(QStringLiteral("label"));
    PlaceInDialogUnits(label_, 14, 14, 120, 10);

    nameEdit_->setObjectName(QStringLiteral("name"));
    nameEdit_->setMaxLength(kMemNameMaxLength);
    nameEdit_->installEventFilter(this);
    PlaceInDialogUnits(nameEdit_, 14, 28, 158, 14);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    PlaceInDialogUnits(ok, 36, 56, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceInDialogUnits(cancel, 100, 56, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CDlgStore::SetSlot(int slot) { label_->setText(QString::asprintf(memory_text::kStoreLabel, slot)); }

void CDlgStore::SetName(const QString& name) { nameEdit_->setText(name); }

QString CDlgStore::Name() const { return nameEdit_->text(); }

bool CDlgStore::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == nameEdit_) {
        if (event->type() == QEvent::KeyPress && InsertsForeignCharacter(static_cast<QKeyEvent*>(event)->text())) {
            return true;
        }
        if (event->type() == QEvent::InputMethod &&
            InsertsForeignCharacter(static_cast<QInputMethodEvent*>(event)->commitString())) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
