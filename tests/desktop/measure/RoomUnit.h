// What the desktop's sound tests share: the emulated unit as a loudspeaker
// in a room (rx74-emulator --audio) behind COM1, the program started and
// connected to it, and the unit's own setting read over the program's link.
#pragma once

#include <QMessageBox>
#include <QtTest>

#include <csignal>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>

#include "app/MainFrame.h"
#include "app/QuenbarApp.h"
#include "app/UnitLink.h"
#include "model/MemoryImage.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/emulator/Programs.h"
#include "unit/UnitCommands.h"

// rx74-emulator --audio behind COM1.
class RoomUnit {
public:
    RoomUnit()
    {
        std::tie(pid_, device_) = LaunchEmulator({"--audio"});
        if (!device_.empty()) PointComAt(1, device_);
    }
    ~RoomUnit()
    {
        if (pid_ > 0) TerminateAndWait(pid_);
    }
    bool Started() const { return !device_.empty(); }
    // The room's microphone to its next position (after the last, the first).
    void MoveMicrophone() const { ::kill(pid_, SIGUSR1); }

private:
    pid_t pid_ = -1;
    std::string device_;
};

// The unit's own setting, read over the program's link.
inline ParameterModel UnitSetting()
{
    std::array<std::uint8_t, 62> image{};
    int result = -1;
    UnitWorker().Run([&](Link& link) { result = UnitReadCurrent(link, image.data()); });
    ParameterModel setting{};
    LoadDefaults(setting);
    if (result == 0) ImageToModel(setting, image.data());
    return setting;
}

// The box between two microphone positions, once the window's measurement
// waits for the person (within `waitMs`); nullptr when it did not come.
template <class Window>
QMessageBox* AwaitPositionBox(Window* window, int waitMs)
{
    return QTest::qWaitFor([window] { return window->PositionBox() != nullptr; }, waitMs) ? window->PositionBox()
                                                                                          : nullptr;
}

// Presses the box's button that says `button`, as the person would.
inline void Press(QMessageBox* box, const QString& button)
{
    for (QAbstractButton* shown : box->buttons())
        if (shown->text().remove(QLatin1Char('&')) == button) return shown->click();
    QFAIL(qPrintable(QStringLiteral("no button \"%1\" in the box").arg(button)));
}

// The program started and connected to the unit behind COM1.
inline CMainFrame* StartConnected(CQuenbarApp& app)
{
    app.InitInstance();
    CMainFrame* frame = app.MainFrame();
    frame->Command(kIdConnect)->trigger();
    WaitForUnit();
    return frame;
}

