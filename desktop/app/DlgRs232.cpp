#include "app/DlgRs232.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/AppSettings.h"
#include "app/DialogUnits.h"
#include "app/ErrorBox.h"
#include "app/Messages.h"
#include "app/PortSetting.h"
#include "app/UnitLink.h"

namespace {

constexpr int kDialogWidth = 151;
constexpr int kDialogHeight = 150;
constexpr int kPortsPerColumn = 5;

QString RadioCaption(int number)
{
    // The mnemonic is the last digit: COM&1 .. COM&9, COM1&0.
    QString digits = QString::number(number);
    digits.insert(digits.size() - 1, QLatin1Char('&'));
    return QStringLiteral("COM") + digits;
}

}  // namespace

PortDeviceEdit ClassifyPortDeviceEdit(const QString& shown, const QString& typed)
{
    const QString device = typed.trimmed();
    if (device == shown) return PortDeviceEdit::Keep;
    if (device.isEmpty()) return PortDeviceEdit::Remove;
    return PortDeviceEdit::Store;
}

CDlgRs232::CDlgRs232(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("RS232"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(kDialogWidth, kDialogHeight, font()));
    CreatePortRadios();
    CreateDeviceField();
    CreateButtons();
    CheckPortNumber(StoredPortNumber());
}

void CDlgRs232::CreatePortRadios()
{
    auto* frame = new QGroupBox(this);
    PlaceInDialogUnits(frame, 7, 4, 137, 82);
    ports_ = new QButtonGroup(this);
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        auto* radio = new QRadioButton(RadioCaption(number), this);
        const int column = (number - 1) / kPortsPerColumn;
        const int row = (number - 1) % kPortsPerColumn;
        PlaceInDialogUnits(radio, 22 + column * 64, 13 + row * 14, 44, 10);
        ports_->addButton(radio, kFirstRadioId + number);
    }
    connect(ports_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) ShowDeviceOf(id - kFirstRadioId);
    });
}

void CDlgRs232::CreateDeviceField()
{
    auto* label = new QLabel(QStringLiteral("&Device:"), this);
    PlaceInDialogUnits(label, 7, 93, 30, 8);
    device_ = new QComboBox(this);
    device_->setEditable(true);
    device_->setInsertPolicy(QComboBox::NoInsert);
    device_->addItems(SystemSerialDevices());
    PlaceInDialogUnits(device_, 7, 103, 137, 14);
    label->setBuddy(device_);
}

void CDlgRs232::CreateButtons()
{
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceInDialogUnits(ok, 14, 127, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDlgRs232::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceInDialogUnits(cancel, 87, 127, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CDlgRs232::reject);
}

int CDlgRs232::CheckedPortNumber() const
{
    const int id = ports_->checkedId();
    return id < 0 ? 0 : id - kFirstRadioId;
}

void CDlgRs232::CheckPortNumber(int number)
{
    QAbstractButton* radio = ports_->button(kFirstRadioId + number);
    if (radio) {
        radio->setChecked(true);
        return;
    }
    // A stored number outside 1..10 checks nothing and shows no device.
    device_->setEnabled(false);
    device_->setEditText(QString());
}

void CDlgRs232::ShowDeviceOf(int number)
{
    shownDevice_ = DeviceForPort(number);
    device_->setEnabled(true);
    device_->setEditText(shownDevice_);
}

void CDlgRs232::accept()
{
    const int number = CheckedPortNumber();
    // With nothing checked the current port stays as it is.
    if (number == 0) {
        QDialog::accept();
        return;
    }
    CloseUnitPort();
    SetCurrentPortNumber(number);
    StorePortNumber(number);
    switch (ClassifyPortDeviceEdit(shownDevice_, device_->currentText())) {
        case PortDeviceEdit::Keep:
            break;
        case PortDeviceEdit::Remove:
            RemovePortDevice(number);
            break;
        case PortDeviceEdit::Store:
            StorePortDevice(number, device_->currentText().trimmed());
            break;
    }
    if (!OpenCurrentPort()) ShowErrorBox(this, QString::fromLatin1(kPortFailedText));
    QDialog::accept();
}
