// Shared by the desktop test programs: a sandboxed environment (settings,
// runtime and lock folders in a temporary directory), emulated units behind
// COM numbers, and a helper that answers the message boxes a test causes.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "emulator/Emulator.h"

// Call before QApplication: fresh folders, no port overrides.
void IsolateDesktopEnvironment();
void ClearProgramSettings();

// Starts an emulated unit and points COMn at it through QUENBAR_COM<n>.
std::unique_ptr<Rx74Emulator> StartEmulatorOnCom(int number, EmulatorFaults faults = {});
void PointComAtNothing(int number);

// Whether the model's channel settings are the factory ones; and a change to all of them.
bool ModelHoldsDefaults();
void DisturbModel();

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// While alive, answers every message box that opens with its OK (or
// default) button and records what it showed.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer();
    const std::vector<SeenBox>& Seen() const { return seen_; }

private:
    void AnswerOpenBoxes();
    QTimer timer_;
    std::vector<SeenBox> seen_;
};

#define QUENBAR_DESKTOP_TEST(TestClass)          \
    int main(int argc, char** argv)              \
    {                                            \
        IsolateDesktopEnvironment();             \
        QApplication app(argc, argv);            \
        TestClass tests;                         \
        return QTest::qExec(&tests, argc, argv); \
    }
