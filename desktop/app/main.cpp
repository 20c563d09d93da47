// The quenbar desktop program.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "QuenbarVersion.h"
#include "app/FirstPaintProbe.h"
#include "app/QuenbarApp.h"

namespace {

constexpr char kUsage[] =
    "Usage: quenbar [QT-OPTIONS]\n"
    "Desktop editor and live remote control for the RX7.4 loudspeaker processor.\n"
    "\n"
    "Options:\n"
    "  --help      Print this help and exit\n"
    "  --version   Print the version and exit\n"
    "\n"
    "Qt's own options (such as -platform) are accepted as well. The unit's port\n"
    "is chosen in Config > RS232; QUENBAR_COM<n>=DEVICE names the device that\n"
    "COM<n> stands for. Only one copy runs at a time per user.\n";

// --help and --version are answered before the window system is opened, so
// that they work without a display.
bool AnsweredWithoutWindows(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quenbar %s\n", kQuenbarVersion);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (AnsweredWithoutWindows(argc, argv)) return 0;
    QApplication application(argc, argv);
    InstallFirstPaintProbe(application);
    CQuenbarApp app;
    if (app.InitInstance() == CQuenbarApp::StartResult::AlreadyRunning) return 1;
    const int code = application.exec();
    app.ExitInstance();
    return code;
}
