#include "tests/app/DesktopTest.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

#include "app/AppSettings.h"
#include "model/Model.h"

namespace {

QTemporaryDir& SandboxDir()
{
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

void IsolateDesktopEnvironment()
{
    const QString root = SandboxDir().path();
    for (const char* folder : {"config", "runtime", "data", "cache"})
        QDir(root).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (root + "/cache").toUtf8());
    for (int n = 1; n <= 10; ++n) qunsetenv(QByteArray("QUENBAR_COM") + QByteArray::number(n));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + "/config");
}

std::unique_ptr<Rx74Emulator> StartEmulatorOnCom(int number, EmulatorFaults faults)
{
    auto emulator = std::make_unique<Rx74Emulator>(faults);
    if (!emulator->Start()) return nullptr;
    qputenv(QByteArray("QUENBAR_COM") + QByteArray::number(number),
            QByteArray::fromStdString(emulator->DevicePath()));
    return emulator;
}

void PointComAtNothing(int number)
{
    qputenv(QByteArray("QUENBAR_COM") + QByteArray::number(number),
            (SandboxDir().path() + "/no-such-device").toUtf8());
}

namespace {

template <std::size_t N>
bool Same(const int (&a)[N], const int (&b)[N])
{
    return std::equal(a, a + N, b);
}

bool SameChannelSettings(const ParameterModel& a, const ParameterModel& b)
{
    return Same(a.gain, b.gain) && Same(a.mute, b.mute) && Same(a.polarity, b.polarity) &&
           Same(a.delay, b.delay) && Same(a.hpfType, b.hpfType) && Same(a.hpfFreq, b.hpfFreq) &&
           Same(a.lpfType, b.lpfType) && Same(a.lpfFreq, b.lpfFreq) && Same(a.xoverOn, b.xoverOn) &&
           Same(a.limThreshold, b.limThreshold) && Same(a.peqFreq, b.peqFreq) &&
           Same(a.peqGain, b.peqGain) && Same(a.peqBandwidth, b.peqBandwidth);
}

}  // namespace

bool ModelHoldsDefaults()
{
    const ParameterModel now = model;
    model = ParameterModel{};
    LoadDefaults();
    const ParameterModel defaults = model;
    model = now;
    return SameChannelSettings(now, defaults);
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

void ClearProgramSettings() { ProgramSettings()->clear(); }

BoxAnswerer::BoxAnswerer()
{
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::AnswerOpenBoxes);
    timer_.start();
}

void BoxAnswerer::AnswerOpenBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        QAbstractButton* answer = box->button(QMessageBox::Ok);
        if (!answer) answer = box->defaultButton();
        if (!answer) answer = box->buttons().value(0);
        answer->click();
    }
}
