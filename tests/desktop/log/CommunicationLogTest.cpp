// The Communication Log window against an emulated unit: what it records
// while open, paused and closed, and what it saves; and the entry limit.
#include <QFile>
#include <QPushButton>
#include <QtTest>

#include "app/PortSetting.h"
#include "app/UnitLink.h"
#include "link/ParameterMessages.h"
#include "log/CommunicationLog.h"
#include "log/TrafficLogModel.h"
#include "tests/desktop/app/DesktopTest.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

namespace {

QStringList Meanings(const CommunicationLog& log)
{
    QStringList meanings;
    for (const TrafficLine& line : log.Entries()->Entries()) meanings << QString::fromStdString(line.meaning);
    return meanings;
}

}  // namespace

class CommunicationLogTest : public QObject {
    Q_OBJECT
private slots:
    void recordsWhileOpenAndNotPausedAndSavesWhatItShows()
    {
        auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        SetCurrentPortNumber(1);
        QVERIFY(OpenCurrentPort());
        QWidget mainWindow;
        CommunicationLog* log = ShowCommunicationLog(&mainWindow, UnitLink());
        QCOMPARE(ShowCommunicationLog(&mainWindow, UnitLink()), log);  // one window, raised again

        QCOMPARE(ConnectUnit(UnitLink(), {}), ConnectResult::Connected);
        QTRY_VERIFY(Meanings(*log).contains(QStringLiteral("read the current setting")));
        QVERIFY(Meanings(*log).contains(QStringLiteral("connect")));

        log->PauseButton()->setChecked(true);
        const int beforePause = log->Entries()->rowCount();
        QCOMPARE(SendParameter(UnitLink(), PID_LR_MUTE), kResultDone);
        QCoreApplication::processEvents();
        QCOMPARE(log->Entries()->rowCount(), beforePause);

        log->PauseButton()->setChecked(false);
        log->Clear();
        UnitLink().Model().gain[kSlotLeftRight] = 122;  // the link's own model
        QCOMPARE(SendParameter(UnitLink(), PID_LR_GAIN), kResultDone);
        QTRY_VERIFY(Meanings(*log).contains(QStringLiteral("gain Left&Right -3.0dB")));
        QCOMPARE(Meanings(*log).first(), QStringLiteral("attention"));

        const QString path = QDir::temp().filePath(QStringLiteral("quenbar-communication-log.txt"));
        QVERIFY(log->SaveTo(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromLatin1(saved.readAll());
        QVERIFY2(text.startsWith(QStringLiteral("      0 ms  ->  attention  [FA]\n")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("->  gain Left&Right -3.0dB  [56 4E 42 31 30 03 D3 7A 00 4D 53]\n")));
        QFile::remove(path);

        // Closed, the log hears nothing at all.
        log->close();
        const int whenClosed = log->Entries()->rowCount();
        QCOMPARE(SendParameter(UnitLink(), PID_LR_GAIN), kResultDone);
        QCoreApplication::processEvents();
        QCOMPARE(log->Entries()->rowCount(), whenClosed);
        DisconnectUnit(UnitLink());
        UnitLink().Close();
    }

    void keepsTheLastTenThousandEntries()
    {
        TrafficLogModel entries;
        for (int i = 0; i < TrafficLogModel::kMaxEntries + 5; ++i) entries.Append({i, "->", "", std::to_string(i)});
        QCOMPARE(entries.rowCount(), TrafficLogModel::kMaxEntries);
        QCOMPARE(entries.data(entries.index(0, TrafficLogModel::Meaning), Qt::DisplayRole).toString(),
                 QStringLiteral("5"));
        QCOMPARE(entries.data(entries.index(0, TrafficLogModel::Time), Qt::DisplayRole).toString(),
                 QStringLiteral("5 ms"));
    }
};

QUENBAR_DESKTOP_TEST(CommunicationLogTest)
#include "CommunicationLogTest.moc"
