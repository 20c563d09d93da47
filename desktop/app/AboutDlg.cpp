#include "app/AboutDlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/AppSettings.h"
#include "app/DialogUnits.h"
#include "app/ErrorBox.h"
#include "app/Identity.h"
#include "app/Messages.h"
#include "app/ModelChanges.h"
#include "app/ServiceKeys.h"
#include "app/ToolbarImages.h"
#include "app/UnitLink.h"
#include "unit/UnitOperations.h"

namespace {

constexpr int kDialogWidth = 235;
constexpr int kDialogHeight = 135;

QLabel* AddStatic(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* label = new QLabel(text, parent);
    PlaceInDialogUnits(label, x, y, w, h);
    return label;
}

QLineEdit* AddLogoEdit(QWidget* parent, int y)
{
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(kLogoLineLength);
    PlaceInDialogUnits(edit, 75, y, 146, 12);
    return edit;
}

}  // namespace

QString LogoResultText(bool succeeded)
{
    // "Logo change succeeded" / "Logo change failed".
    return succeeded ? QString::fromUtf16(u"\u5546\u6807\u66f4\u6539\u6210\u529f")
                     : QString::fromUtf16(u"\u5546\u6807\u66f4\u6539\u5931\u8d25");
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About"));
    setFont(DialogFont());
    CreateIdentity();
    CreateLogoArea();
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    installEventFilter(this);

    // Open short: the logo area stays hidden until the logo function is armed.
    fullHeight_ = DialogUnitsToPixels(kDialogWidth, kDialogHeight, font()).height();
    setFixedSize(DialogUnitsToPixels(kDialogWidth, kDialogHeight, font()).width(), ShortHeight());
}

void CAboutDlg::CreateIdentity()
{
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    const QRect iconPlace = DialogUnitsToPixels(11, 17, 0, 0, font());
    icon->setGeometry(iconPlace.x(), iconPlace.y(), 32, 32);
    AddStatic(this, QString::fromLatin1(kVersionLine), 40, 10, 119, 8);
    AddStatic(this, QString::fromLatin1(kNoticeLine), 40, 25, 119, 8);
    AddStatic(this, QString::fromLatin1(kMakerName), 40, 40, 119, 8);
    AddStatic(this, QString::fromLatin1(kBuildDate), 40, 55, 119, 8);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    PlaceInDialogUnits(ok_, 178, 7, 50, 14);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CAboutDlg::accept);
}

void CAboutDlg::CreateLogoArea()
{
    logoFrame_ = new QGroupBox(this);
    PlaceInDialogUnits(logoFrame_, 9, 76, 219, 48);
    AddStatic(this, QStringLiteral("Line1"), 14, 86, 39, 9);
    AddStatic(this, QStringLiteral("Line2"), 15, 105, 33, 11);
    line1_ = AddLogoEdit(this, 87);
    line2_ = AddLogoEdit(this, 106);
}

int CAboutDlg::ShortHeight() const { return logoFrame_->geometry().top() - 1; }

QWidget* CAboutDlg::KeyTarget()
{
    QWidget* focused = focusWidget();
    return focused ? focused : this;
}

// Every key press is shown to the recogniser once, where it first arrives,
// and then goes on to its normal handling.
bool CAboutDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == KeyTarget()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const ServiceFunction armed =
            ProcessServiceKeys().Feed(key->key(), key->modifiers().testFlag(Qt::ControlModifier));
        Arm(armed);
    }
    return QDialog::eventFilter(watched, event);
}

void CAboutDlg::Arm(ServiceFunction function)
{
    switch (function) {
        case ServiceFunction::None:
            return;
        case ServiceFunction::Reset:
            resetArmed_ = true;
            ok_->setText(QStringLiteral("Reset"));
            return;
        case ServiceFunction::Logo:
            logoArmed_ = true;
            ok_->setText(QStringLiteral("Logo"));
            setFixedHeight(fullHeight_);
            return;
    }
}

void CAboutDlg::accept()
{
    if (resetArmed_) RunReset();
    if (logoArmed_) RunLogo();
    QDialog::accept();
}

void CAboutDlg::RunReset()
{
    const int result = ResetUnit(UnitLink());
    NotifyModelChanged();
    if (result != 0) ShowErrorBox(this, QString::fromLatin1(kReadCurrentFailedText));
}

void CAboutDlg::RunLogo()
{
    std::array<std::string, 2> padded;
    const int result = WriteLogo(UnitLink(), line1_->text().toLatin1().toStdString(),
                                 line2_->text().toLatin1().toStdString(), &padded);
    StoreLogoLines(padded);
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationName), LogoResultText(result == 0),
                    QMessageBox::Ok, this);
    box.exec();
}
