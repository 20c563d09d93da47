// The application object: brings the program up in a fixed order (serial
// layer, single-instance lock, settings, model defaults, port, main
// window) and stops the serial layer at exit. It also runs the About box.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class CMainFrame;

class CQuenbarApp : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Running, AlreadyRunning };

    CQuenbarApp();
    ~CQuenbarApp() override;

    // Runs the start-up; on Running the main window is shown.
    StartResult InitInstance();
    // Stops the serial layer. Always 0.
    int ExitInstance();

    CMainFrame* MainFrame() const { return mainFrame_.get(); }

    // The lock file that keeps a second copy from starting.
    static QString InstanceLockPath();

public slots:
    void OnAppAbout();

private:
    bool AcquireInstanceLock();
    static bool LockNamesNoHolder(const QLockFile& lock);
    void LoadSettings();
    void OpenPort();

    std::unique_ptr<QLockFile> instanceLock_;
    std::unique_ptr<CMainFrame> mainFrame_;
};
