#include "app/DlgRs232.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/AppSettings.h"
#include "app/DialogUnits.h"
#include "app/ErrorBox.h"
#include "app/LinkFailureText.h"
#include "app/Messages.h"
#include "app/PortSetting.h"
#include "app/UnitLink.h"
#include "link/PortName.h"
#include "ports/DeviceChoices.h"
#include "ports/UnitFinder.h"

namespace {

constexpr int kRs232DialogWidth = 151;
constexpr int kRs232DialogHeight = 184;
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
    setFixedSize(DialogUnitsToPixels(kRs232DialogWidth, kRs232DialogHeight, font()));
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
    for (const DeviceChoice& choice : DeviceChoices(ListSerialPorts())) device_->addItem(choice.label, choice.device);
    // The list shows the adapters beside the devices; the field takes the device alone.
    connect(device_, &QComboBox::activated, this,
            [this](int index) { device_->setEditText(device_->itemData(index).toString()); });
    device_->view()->setMinimumWidth(device_->view()->sizeHintForColumn(0));
    PlaceInDialogUnits(device_, 7, 103, 137, 14);
    label->setBuddy(device_);

    findUnit_ = new QPushButton(QStringLiteral("&Find unit"), this);
    PlaceInDialogUnits(findUnit_, 7, 121, 50, 14);
    connect(findUnit_, &QPushButton::clicked, this, &CDlgRs232::FindUnit);
    // The port is closed while the probe runs: not in the middle of a conversation.
    findUnit_->setEnabled(!model.connected);
    if (model.connected) findUnit_->setToolTip(QStringLiteral("Disconnect first."));
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    PlaceInDialogUnits(note_, 7, 138, 137, 20);
}

void CDlgRs232::CreateButtons()
{
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceInDialogUnits(ok, 14, 163, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDlgRs232::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceInDialogUnits(cancel, 87, 163, 50, 14);
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
    const bool byVariable = DeviceFromComVariable(number).has_value();
    device_->setEnabled(!byVariable);
    device_->setEditText(shownDevice_);
    note_->setText(byVariable ? QStringLiteral("%1 decides the device of COM%2.")
                                    .arg(QString::fromStdString(ComVariableName(number)))
                                    .arg(number)
                              : QString());
}

QString CDlgRs232::Note() const { return note_->text(); }

std::vector<std::string> CDlgRs232::ProbeCandidates() const
{
    std::vector<std::string> devices;
    const auto add = [&devices](const QString& device) {
        const std::string path = device.trimmed().toStdString();
        if (!path.empty() && std::find(devices.begin(), devices.end(), path) == devices.end()) devices.push_back(path);
    };
    add(device_->currentText());
    for (int i = 0; i < device_->count(); ++i) add(device_->itemData(i).toString());
    return devices;
}

void CDlgRs232::FindUnit()
{
    // The program's own hold on its port would make that port look busy.
    const bool wasOpen = UnitLink().IsOpen();
    UnitLink().Close();
    const std::vector<ProbeResult> results = ProbeWithProgress(this, ProbeCandidates());
    if (wasOpen) OpenCurrentPort();

    QStringList details;
    for (const ProbeResult& result : results)
        details << QString::fromStdString(result.device + ": " + DescribeProbe(result));
    note_->setToolTip(details.join(QLatin1Char('\n')));
    const auto found = std::find_if(results.begin(), results.end(),
                                    [](const ProbeResult& r) { return r.outcome == ProbeOutcome::UnitAnswered; });
    if (found == results.end()) {
        note_->setText(QStringLiteral("No unit answered on %1 devices.").arg(results.size()));
        return;
    }
    const QString device = QString::fromStdString(found->device);
    if (device_->isEnabled()) device_->setEditText(device);
    note_->setText(QStringLiteral("The unit answered on %1.").arg(device));
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
    if (!CheckCurrentPort()) ShowErrorBox(this, PortFailedText(UnitLink()));
    QDialog::accept();
}
