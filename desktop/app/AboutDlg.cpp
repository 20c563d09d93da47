#include "app/AboutDlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

#include "QuenbarVersion.h"

#include "app/AppSettings.h"
#include "app/DialogUnits.h"
#include "app/ErrorBox.h"
#include "app/Identity.h"
#include "app/Messages.h"
#include "app/ServiceKeys.h"
#include "app/ToolbarImages.h"
#include "app/UnitTasks.h"

namespace {

constexpr int kAboutDialogWidth = 235;
constexpr int kAboutDialogHeight = 135;

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

QString ProgramVersionLine() { return QStringLiteral("Quenbar ") + QString::fromUtf8(kQuenbarVersion); }

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
    fullHeight_ = DialogUnitsToPixels(kAboutDialogWidth, kAboutDialogHeight, font()).height();
    setFixedSize(DialogUnitsToPixels(kAboutDialogWidth, kAboutDialogHeight, font()).width(), ShortHeight());
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
    AddStatic(this, ProgramVersionLine(), 40, 66, 188, 8);
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

// The armed functions run one after the other on the unit, each reporting
// its outcome, and the box closes after them; until then it stays open. While
// the unit is busy with another operation, an armed box waits for the next OK.
void CAboutDlg::accept()
{
    if (running_ || ((resetArmed_ || logoArmed_) && UnitTasks().Busy())) return;
    running_ = true;
    RunReset([this] {
        RunLogo([this] {
            running_ = false;
            QDialog::accept();
        });
    });
}

void CAboutDlg::reject()
{
    if (!running_) QDialog::reject();
}

void CAboutDlg::RunReset(const std::function<void()>& then)
{
    if (!resetArmed_) return then();
    UnitTasks().Start<int>(
        this, {QStringLiteral("Resetting the unit..."), false, {HistoryEntry::Step, QStringLiteral("Reset")}},
        [](Link& link, const SlotProgress&) { return ResetUnit(link); },
        [this, then](const int& result) {
            if (result != 0 && !UnitTasks().Cancelled())
                ShowErrorBox(this, QString::fromLatin1(kReadCurrentFailedText));
            then();
        });
}

void CAboutDlg::RunLogo(const std::function<void()>& then)
{
    if (!logoArmed_) return then();
    auto padded = std::make_shared<std::array<std::string, 2>>();
    UnitTasks().Start<int>(
        this, {QStringLiteral("Writing the logo...")},
        [padded, line1 = line1_->text().toLatin1().toStdString(), line2 = line2_->text().toLatin1().toStdString()](
            Link& link, const SlotProgress&) { return WriteLogo(link, line1, line2, padded.get()); },
        [this, padded, then](const int& result) {
            StoreLogoLines(*padded);
            if (!UnitTasks().Cancelled()) {
                QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationName), LogoResultText(result == 0),
                                QMessageBox::Ok, this);
                box.exec();
            }
            then();
        });
}
