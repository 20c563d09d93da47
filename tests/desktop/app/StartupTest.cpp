// Start-up of the program: settings, defaults, the port and the
// single-instance lock.
#include <QLockFile>
#include <QProcess>
#include <QtTest>
#include <csignal>

#include "app/AppSettings.h"
#include "app/Identity.h"
#include "app/MainFrame.h"
#include "app/PortSetting.h"
#include "app/QuenbarApp.h"
#include "app/UnitLink.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

QVariant StoredEntry(const QString& key) { return ProgramSettings()->value(key); }

bool AnyMainFrameOpen()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<CMainFrame*>(widget)) return true;
    return false;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ClearProgramSettings();
        model = ParameterModel{};
        for (int n = 1; n <= 3; ++n) qunsetenv(QByteArray("QUENBAR_COM") + QByteArray::number(n));
    }

    void firstStartCreatesFirmwareEntryOpensCom1AndLoadsDefaults()
    {
        auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        DisturbModel();
        ModalAnswerer boxes;
        CQuenbarApp app;
        QCOMPARE(app.InitInstance(), CQuenbarApp::StartResult::Running);
        QVERIFY(boxes.Seen().empty());
        QCOMPARE(StoredEntry("Settings/3CHANProcessFirmTypeV123"), QVariant(0));
        QCOMPARE(CurrentPortNumber(), 1);
        // Tried and let go: not connected, the program leaves the port to others.
        QVERIFY(!UnitLink().IsOpen());
        QCOMPARE(UnitLink().Device(), DeviceForPort(1).toStdString());
        QVERIFY(ModelHoldsDefaults());
        QCOMPARE(model.connected, 0);
        // Opening the port starts no conversation with the unit.
        QVERIFY(unit->ReceivedBytes().empty());
        QVERIFY(app.MainFrame()->isVisible());
        QCOMPARE(app.MainFrame()->windowTitle(), QStringLiteral("Untitled - Quenbar"));
        app.ExitInstance();
        QVERIFY(!UnitLink().IsOpen());
    }

    void storedFirmwareTypeSurvivesStartUpAsOneByte()
    {
        for (const auto& [stored, kept] : {std::pair{3, 3}, std::pair{12, 12}, std::pair{300, 44}}) {
            ProgramSettings()->setValue("Settings/3CHANProcessFirmTypeV123", stored);
            PointComAtNothing(1);
            ModalAnswerer boxes;
            CQuenbarApp app;
            QCOMPARE(app.InitInstance(), CQuenbarApp::StartResult::Running);
            QCOMPARE(int{model.firmType}, kept);
            QCOMPARE(StoredEntry("Settings/3CHANProcessFirmTypeV123"), QVariant(kept));
        }
    }

    void portThatCannotOpenIsReportedAndTheProgramRunsOn()
    {
        PointComAtNothing(1);
        ModalAnswerer boxes;
        CQuenbarApp app;
        QCOMPARE(app.InitInstance(), CQuenbarApp::StartResult::Running);
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].caption, QStringLiteral("Error"));
        QVERIFY(boxes.Seen()[0].text.startsWith(QStringLiteral("RS232 Connection failed.\n") +
                                                QString::fromStdString(UnitLink().Device()) +
                                                QStringLiteral(": no such device (No such file or directory).\n")));
        QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
        QVERIFY(!UnitLink().IsOpen());
        QVERIFY(app.MainFrame()->isVisible());
    }

    void secondCopyIsRefusedBeforeAnyWindow()
    {
        QLockFile firstCopy(CQuenbarApp::InstanceLockPath());
        QVERIFY(firstCopy.tryLock(0));
        // However old the first copy's lock, a live holder keeps it.
        QFile lockFile(CQuenbarApp::InstanceLockPath());
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        lockFile.close();

        PointComAtNothing(1);
        ModalAnswerer boxes;
        CQuenbarApp second;
        QCOMPARE(second.InitInstance(), CQuenbarApp::StartResult::AlreadyRunning);
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].text, QStringLiteral("Application is running!"));
        QCOMPARE(boxes.Seen()[0].caption, QStringLiteral("Error"));
        QCOMPARE(boxes.Seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!AnyMainFrameOpen());
        QVERIFY(QFile::exists(CQuenbarApp::InstanceLockPath()));
    }

    void lockLeftByCrashedCopyDoesNotBlock()
    {
        // A real copy of the program takes the lock and is killed outright.
        QProcess crashed;
        crashed.setProgram(QStringLiteral(QUENBAR_PROGRAM));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUENBAR_COM1", QStringLiteral("/nonexistent/port"));
        crashed.setProcessEnvironment(environment);
        crashed.start();
        QVERIFY(crashed.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(CQuenbarApp::InstanceLockPath()).size() > 0, 10000);
        ::kill(static_cast<pid_t>(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished());
        QVERIFY(QFile::exists(CQuenbarApp::InstanceLockPath()));

        PointComAtNothing(1);
        {
            ModalAnswerer boxes;
            CQuenbarApp app;
            QCOMPARE(app.InitInstance(), CQuenbarApp::StartResult::Running);
        }

        // A copy killed before it wrote its id leaves an empty lock file.
        QFile emptyLock(CQuenbarApp::InstanceLockPath());
        QVERIFY(emptyLock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(emptyLock.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        emptyLock.close();
        ModalAnswerer boxes;
        CQuenbarApp app;
        QCOMPARE(app.InitInstance(), CQuenbarApp::StartResult::Running);
    }
};

QUENBAR_DESKTOP_TEST(StartupTest)
#include "StartupTest.moc"
