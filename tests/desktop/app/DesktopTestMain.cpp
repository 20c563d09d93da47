#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <string>

#include "app/AppSettings.h"
#include "app/UnitLink.h"
#include "model/MemoryImage.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

QString SandboxPath(const char* folder = "")
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(folder));
}

QByteArray ComVariable(int number) { return "QUENBAR_COM" + QByteArray::number(number); }

std::array<std::uint8_t, kImageSize> ModelImage()
{
    std::array<std::uint8_t, kImageSize> image{};
    ModelToImage(model, image.data());
    return image;
}

// Before QApplication: fresh folders, no port overrides.
void IsolateDesktopEnvironment()
{
    const std::pair<const char*, const char*> folders[] = {{"XDG_CONFIG_HOME", "config"},
                                                           {"XDG_RUNTIME_DIR", "runtime"},
                                                           {"XDG_DATA_HOME", "data"},
                                                           {"XDG_CACHE_HOME", "cache"}};
    for (const auto& [variable, folder] : folders) {
        QDir().mkpath(SandboxPath(folder));
        qputenv(variable, SandboxPath(folder).toUtf8());
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, SandboxPath("config"));
    QFile::setPermissions(SandboxPath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (int n = 1; n <= 10; ++n) qunsetenv(ComVariable(n));
}

std::map<std::string, DesktopTestRun>& Registry()
{
    static std::map<std::string, DesktopTestRun> tests;
    return tests;
}

}  // namespace

bool RegisterDesktopTest(const char* name, DesktopTestRun run)
{
    Registry()[name] = run;
    return true;
}

int main(int argc, char** argv)
{
    IsolateDesktopEnvironment();
    QApplication app(argc, argv);
    const auto test = argc > 1 ? Registry().find(argv[1]) : Registry().end();
    if (test == Registry().end()) {
        std::fprintf(stderr, "usage: %s TestClass [Qt Test's options]\nTest classes:\n", argv[0]);
        for (const auto& entry : Registry()) std::fprintf(stderr, "  %s\n", entry.first.c_str());
        return 2;
    }
    argv[1] = argv[0];
    return test->second(argc - 1, argv + 1);
}

void ClearProgramSettings() { ProgramSettings()->clear(); }

std::unique_ptr<Rx74Emulator> StartEmulatorOnCom(int number, EmulatorFaults faults)
{
    auto emulator = std::make_unique<Rx74Emulator>(faults);
    if (!emulator->Start()) return nullptr;
    PointComAt(number, emulator->DevicePath());
    return emulator;
}

void PointComAtNothing(int number) { qputenv(ComVariable(number), SandboxPath("no-device").toUtf8()); }

void PointComAt(int number, const std::string& device)
{
    qputenv(ComVariable(number), QByteArray::fromStdString(device));
}

bool ModelHoldsDefaults()
{
    const ParameterModel now = model;
    LoadDefaults(model);
    const auto defaults = ModelImage();
    model = now;
    return ModelImage() == defaults;
}

void DisturbModel()
{
    for (int slot = 0; slot < kChannelSlots; ++slot) {
        model.gain[slot] = 9;
        model.delay[slot] = 77;
        model.hpfFreq[slot] = 333;
    }
    for (int& gain : model.peqGain) gain = 3;
}
