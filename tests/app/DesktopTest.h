// Shared by the desktop test programs: an isolated environment (settings,
// lock and runtime folders in a temporary directory) and a helper that
// answers the message boxes a test causes.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "emulator/Emulator.h"

// Points the settings, runtime and configuration folders at a fresh
// temporary directory and clears the port overrides. Call before QApplication.
void IsolateDesktopEnvironment();

// Removes every stored setting of the program.
void ClearProgramSettings();

// Starts an emulated unit and points COMn at it through QUENBAR_COM<n>.
std::unique_ptr<Rx74Emulator> StartEmulatorOnCom(int number, EmulatorFaults faults = {});

// Points COMn at a path where no device exists.
void PointComAtNothing(int number);

// True when every channel and PEQ setting of the model has its factory value.
bool ModelHoldsDefaults();

// Puts a non-default value into every channel setting the defaults cover.
void DisturbModel();

// What a message box showed.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// While alive, answers every message box that opens by clicking its OK
// (or its default) button, and records what it showed.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer();
    const std::vector<SeenBox>& Seen() const { return seen_; }

private:
    void AnswerOpenBoxes();
    QTimer timer_;
    std::vector<SeenBox> seen_;
};

#define QUENBAR_DESKTOP_TEST(TestClass)        \
    int main(int argc, char** argv)            \
    {                                          \
        IsolateDesktopEnvironment();           \
        QApplication app(argc, argv);          \
        TestClass tests;                       \
        return QTest::qExec(&tests, argc, argv); \
    }
