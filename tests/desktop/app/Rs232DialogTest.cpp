// The RS232 dialog: which port it shows, what OK and Cancel do to the
// settings and the open port, and the device field behind a COM number.
#include <QComboBox>
#include <QRadioButton>
#include <QtTest>

#include "app/AppSettings.h"
#include "app/DlgRs232.h"
#include "app/PortSetting.h"
#include "app/UnitLink.h"
#include "link/Frame.h"
#include "tests/desktop/app/DesktopTest.h"
#include "unit/UnitCommands.h"

namespace {

QVariant StoredEntry(const QString& key) { return ProgramSettings()->value(key); }

// True when a handshake on the open port reaches this unit.
bool PortLeadsTo(Rx74Emulator& unit)
{
    unit.ClearReceived();
    if (!UnitLink().IsOpen() && !UnitLink().Open()) return false;  // as a connect opens it
    std::uint8_t reply[16];
    return UnitConnect(UnitLink(), reply) == 0 && !unit.ReceivedPayloads().empty();
}

void OpenPort(int number)
{
    SetCurrentPortNumber(number);
    OpenCurrentPort();
}

}  // namespace

class Rs232DialogTest : public QObject {
    Q_OBJECT
private slots:
    void cleanupTestCase() { UnitLink().Close(); }

    void init()
    {
        UnitLink().Close();
        ClearProgramSettings();
        model = ParameterModel{};
        for (int n = 1; n <= 4; ++n) qunsetenv(QByteArray("QUENBAR_COM") + QByteArray::number(n));
    }

    void opensOnTheStoredPortAndNoneWhenOutOfRange()
    {
        StorePortNumber(7);
        CDlgRs232 dialog;
        QCOMPARE(dialog.CheckedPortNumber(), 7);
        const auto radios = dialog.findChildren<QRadioButton*>();
        QCOMPARE(radios.size(), 10);
        QCOMPARE(radios.front()->text(), QStringLiteral("COM&1"));
        QCOMPARE(radios.back()->text(), QStringLiteral("COM1&0"));

        StorePortNumber(12);
        CDlgRs232 outOfRange;
        QCOMPARE(outOfRange.CheckedPortNumber(), 0);
        QVERIFY(!outOfRange.DeviceField()->isEnabled());
    }

    void okStoresTheChoiceAndSwitchesThePort()
    {
        auto first = StartEmulatorOnCom(1);
        auto second = StartEmulatorOnCom(2);
        QVERIFY(first && second);
        OpenPort(1);
        QVERIFY(PortLeadsTo(*first));
        first->ClearReceived();

        ModalAnswerer boxes;
        CDlgRs232 dialog;
        dialog.CheckPortNumber(2);
        dialog.accept();
        QVERIFY(boxes.Seen().empty());
        QCOMPARE(StoredEntry("Settings/RS232Port"), QVariant(2));
        QCOMPARE(StoredEntry("Settings/RS232PortString"), QVariant("COM2"));
        QCOMPARE(CurrentPortNumber(), 2);
        QVERIFY(PortLeadsTo(*second));
        QVERIFY(first->ReceivedPayloads().empty());
        // The device came from the environment: nothing is stored for it.
        QVERIFY(!ProgramSettings()->contains("Ports/COM2"));

        // The port already open: OK closes it, tries it and, not connected, lets it go.
        CDlgRs232 again;
        again.accept();
        QVERIFY(!UnitLink().IsOpen());
        QVERIFY(PortLeadsTo(*second));
    }

    void portFailuresNameTheDeviceAndTheReasonAndAreStoredAnyway()
    {
        PointComAtNothing(3);
        ModalAnswerer boxes;
        CDlgRs232 dialog;
        dialog.CheckPortNumber(3);
        dialog.accept();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        const QString missing = DeviceForPort(3);
        QVERIFY2(boxes.Seen()[0].text.startsWith("RS232 Connection failed.\n" + missing +
                                                 ": no such device (No such file or directory).\n"),
                 qPrintable(boxes.Seen()[0].text));
        QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
        QCOMPARE(dialog.result(), int{QDialog::Accepted});
        QVERIFY(!UnitLink().IsOpen());
        QCOMPARE(StoredPortNumber(), 3);

        // Another copy of the program holds the unit's port: refused, and the unit hears nothing.
        auto unit = StartEmulatorOnCom(4);
        QVERIFY(unit);
        ParameterModel otherModel{};
        Link otherCopy(otherModel);
        otherCopy.SetDevice(unit->DevicePath());
        QVERIFY(otherCopy.Open());
        CDlgRs232 held;
        held.CheckPortNumber(4);
        held.accept();
        QCOMPARE(boxes.Seen().size(), std::size_t{2});
        QVERIFY2(
            boxes.Seen()[1].text.startsWith(QStringLiteral("RS232 Connection failed.\n%1: held by another program.")
                                                .arg(QString::fromStdString(unit->DevicePath()))),
            qPrintable(boxes.Seen()[1].text));
        QVERIFY(unit->ReceivedBytes().empty());
    }

    void aComVariableDecidesTheDeviceAndTheDialogSaysSo()
    {
        auto unit = StartEmulatorOnCom(2);
        QVERIFY(unit);
        CDlgRs232 dialog;
        dialog.CheckPortNumber(2);
        QCOMPARE(dialog.DeviceField()->currentText(), QString::fromStdString(unit->DevicePath()));
        QVERIFY(!dialog.DeviceField()->isEnabled());
        QCOMPARE(dialog.Note(), QStringLiteral("QUENBAR_COM2 decides the device of COM2."));
        dialog.CheckPortNumber(3);
        QVERIFY(dialog.DeviceField()->isEnabled());
        QVERIFY(dialog.Note().isEmpty());
    }

    void findUnitFillsInTheDeviceWhereTheUnitAnswered()
    {
        auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        Rx74Emulator silent({.silent = true});
        QVERIFY(silent.Start());
        OpenPort(1);  // the program's own port is probed as well, not reported busy
        CDlgRs232 dialog;
        dialog.CheckPortNumber(5);
        dialog.DeviceField()->clear();  // the machine's own serial ports are no business of this test
        dialog.DeviceField()->addItem(QStringLiteral("the unit"), QString::fromStdString(unit->DevicePath()));
        dialog.DeviceField()->setEditText(QString::fromStdString(silent.DevicePath()));
        dialog.FindUnit();
        QCOMPARE(dialog.DeviceField()->currentText(), QString::fromStdString(unit->DevicePath()));
        QCOMPARE(dialog.Note(),
                 QStringLiteral("The unit answered on %1.").arg(QString::fromStdString(unit->DevicePath())));
        QCOMPARE(silent.ReceivedBytes(), std::vector<std::uint8_t>{kAttentionByte});
        QVERIFY(UnitLink().IsOpen());
    }

    void cancelChangesNothing()
    {
        auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        OpenPort(1);
        CDlgRs232 dialog;
        dialog.CheckPortNumber(5);
        dialog.DeviceField()->setEditText(QStringLiteral("/dev/ttyUSB7"));
        dialog.reject();
        QVERIFY(!ProgramSettings()->contains("Settings/RS232Port"));
        QVERIFY(!ProgramSettings()->contains("Ports/COM5"));
        QCOMPARE(CurrentPortNumber(), 1);
        QVERIFY(PortLeadsTo(*unit));
    }

    void deviceFieldPointsANumberAtADevice()
    {
        auto unit = std::make_unique<Rx74Emulator>();
        QVERIFY(unit->Start());
        const QString device = QString::fromStdString(unit->DevicePath());
        ModalAnswerer boxes;
        {
            CDlgRs232 dialog;
            dialog.CheckPortNumber(4);
            QCOMPARE(dialog.DeviceField()->currentText(), QStringLiteral("/dev/ttyS3"));
            dialog.DeviceField()->setEditText(device);
            dialog.accept();
        }
        QCOMPARE(StoredEntry("Ports/COM4"), QVariant(device));
        QVERIFY(PortLeadsTo(*unit));
        {
            CDlgRs232 dialog;  // opens on COM4 and shows the stored device
            QCOMPARE(dialog.DeviceField()->currentText(), device);
            dialog.DeviceField()->setEditText(QString());
            dialog.accept();
        }
        QVERIFY(!ProgramSettings()->contains("Ports/COM4"));
        QCOMPARE(DeviceForPort(4), QStringLiteral("/dev/ttyS3"));
    }
};

QUENBAR_DESKTOP_TEST(Rs232DialogTest)
#include "Rs232DialogTest.moc"
