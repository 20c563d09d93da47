// Shared by the desktop test programs: a sandboxed environment (settings,
// runtime and lock folders in a temporary directory), emulated units behind
// COM numbers, and (ModalAnswerer.h) the answerer of the message boxes a
// test causes.
#pragma once

#include <QApplication>
#include <QtTest>
#include <memory>

#include "emulator/Emulator.h"
#include "tests/desktop/app/ModalAnswerer.h"

void ClearProgramSettings();

// Starts an emulated unit and points COMn at it through QUENBAR_COM<n>.
std::unique_ptr<Rx74Emulator> StartEmulatorOnCom(int number, EmulatorFaults faults = {});
void PointComAtNothing(int number);
// Points COMn at the device, as the program's Connect will open it.
void PointComAt(int number, const std::string& device);

// Whether the model's channel settings are the factory ones; and a change to all of them.
bool ModelHoldsDefaults();
void DisturbModel();

// The one desktop test program holds every test class: its first argument
// names the class to run, the others are Qt Test's. A test file registers
// its class with QUENBAR_DESKTOP_TEST(TestClass).
using DesktopTestRun = int (*)(int argc, char** argv);
bool RegisterDesktopTest(const char* name, DesktopTestRun run);

#define QUENBAR_DESKTOP_TEST(TestClass)                                                          \
    [[maybe_unused]] static const bool TestClass##Registered =                                  \
        RegisterDesktopTest(#TestClass, [](int argc, char** argv) {                            \
            TestClass tests;                                                                     \
            return QTest::qExec(&tests, argc, argv);                                             \
        });
