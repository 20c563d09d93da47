// The quenbar desktop program.
#include <QApplication>

#include "app/FirstPaintProbe.h"
#include "app/QuenbarApp.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    InstallFirstPaintProbe(application);
    CQuenbarApp app;
    if (app.InitInstance() == CQuenbarApp::StartResult::AlreadyRunning) return 1;
    const int code = application.exec();
    app.ExitInstance();
    return code;
}
