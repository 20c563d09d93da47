#include "app/QuenbarApp.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#include "app/AboutDlg.h"
#include "app/AppSettings.h"
#include "app/ErrorBox.h"
#include "app/Identity.h"
#include "app/LinkFailureText.h"
#include "app/MainFrame.h"
#include "app/Messages.h"
#include "app/PortSetting.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"

CQuenbarApp::CQuenbarApp()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

CQuenbarApp::~CQuenbarApp() { ExitInstance(); }

QString CQuenbarApp::InstanceLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QString::fromLatin1(kMakerName) + QString::fromLatin1(kInstanceLockSuffix) +
                                 QStringLiteral(".lock"));
}

CQuenbarApp::StartResult CQuenbarApp::InitInstance()
{
    if (!AcquireInstanceLock()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QString::fromLatin1(kAlreadyRunningText),
                        QMessageBox::Ok);
        box.exec();
        return StartResult::AlreadyRunning;
    }
    LoadSettings();
    LoadDefaults(model);
    OpenPort();

    mainFrame_ = std::make_unique<CMainFrame>();
    connect(mainFrame_.get(), &CMainFrame::aboutRequested, this, &CQuenbarApp::OnAppAbout);
    mainFrame_->show();
    return StartResult::Running;
}

// The lock is held for the whole run. Only a live process holding it
// blocks: a lock left by a crashed copy is taken over, however old. A copy
// that died between creating the lock file and writing its process id into
// it leaves a file that names no holder; once that file is older than any
// copy could take to write its id, it is removed as well, or no copy would
// ever start again.
bool CQuenbarApp::AcquireInstanceLock()
{
    instanceLock_ = std::make_unique<QLockFile>(InstanceLockPath());
    instanceLock_->setStaleLockTime(0);
    if (instanceLock_->tryLock(0)) return true;
    if (LockNamesNoHolder(*instanceLock_) && instanceLock_->removeStaleLockFile() && instanceLock_->tryLock(0))
        return true;
    instanceLock_.reset();
    return false;
}

bool CQuenbarApp::LockNamesNoHolder(const QLockFile& lock)
{
    constexpr int kLongestIdWriteMs = 2000;
    qint64 pid = 0;
    QString host, application;
    if (lock.getLockInfo(&pid, &host, &application)) return false;
    const QFileInfo file(InstanceLockPath());
    return file.exists() && file.lastModified().msecsTo(QDateTime::currentDateTime()) > kLongestIdWriteMs;
}

void CQuenbarApp::LoadSettings()
{
    SetCurrentPortNumber(StoredPortNumber());
    model.firmType = LoadAndRewriteFirmType();
}

void CQuenbarApp::OpenPort()
{
    if (!CheckCurrentPort()) ShowErrorBox(nullptr, PortFailedText(UnitLink()));
}

int CQuenbarApp::ExitInstance()
{
    mainFrame_.reset();
    UnitTasks().Abandon();
    ShutDownUnitLink();
    instanceLock_.reset();
    return 0;
}

void CQuenbarApp::OnAppAbout()
{
    CAboutDlg about(mainFrame_.get());
    about.exec();
}
