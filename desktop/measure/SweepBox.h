// What every window that measures shares: the Sweep box (the devices, the
// sweep's level with its guard against loud sweeps, its length, and where
// the window lets the person choose them, the outputs) and the rows that
// follow a sequence (the microphone's live level, the progress and its step,
// and the line that says how it went).
#pragma once

#include <QGroupBox>
#include <QString>

#include <utility>
#include <vector>

#include "AudioDevices.h"
#include "Measurement.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;

// Each device that plays (or records) into `box`, the default first; the
// data is the name the sound system takes.
void AddDevices(QComboBox* box, const std::vector<AudioDevice>& devices, AudioDirection direction);

class SweepBox : public QGroupBox {
public:
    // With `chooseOutputs`, a tick for each output; without, all four are measured.
    SweepBox(QWidget* parent, bool chooseOutputs);

    // The settings as the controls give them.
    MeasureSettings Settings() const;
    // While a sequence runs the controls take no changes.
    void SetRunning(bool running);

private:
    void FillDevices();
    void FollowLoudness();

    QComboBox* play_ = nullptr;
    QComboBox* record_ = nullptr;
    QDoubleSpinBox* level_ = nullptr;
    QCheckBox* loud_ = nullptr;
    std::vector<std::pair<MeasuredOutput, QCheckBox*>> outputs_;
    QDoubleSpinBox* length_ = nullptr;
};

class SoundRun;

class RunStatus {
public:
    // Adds the Input and Progress rows and the step's line to `form`.
    void AddRows(QWidget* box, QFormLayout* form);
    // Adds the line that says how it went.
    void AddMessage(QWidget* box, QFormLayout* form);

    void ShowLevel(double dbfs);
    void ShowProgress(double fraction, const QString& step);
    // Shows `run`'s progress and level as they come, while `context` lives
    // (the window that holds this).
    void Follow(SoundRun* run, QObject* context);
    // Red and bold with `alarm`.
    void Say(const QString& text, bool alarm = false);
    QString Said() const;
    // Mutes the unit did not take back: a box that does not block the
    // window, and the message line.
    void WarnUnrestored(QWidget* window, const QString& unrestored);

private:
    QProgressBar* meter_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* step_ = nullptr;
    QLabel* message_ = nullptr;
};

// The window's controls in a column on the left (the sweep's box above the
// run's), `right` taking the rest of the width.
void LayOutBesideControls(QWidget* window, QWidget* sweep, QWidget* run, QLayout* right);

// A push button named `name` that Enter in the window's boxes does not press.
QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name);

// Why the unit cannot take part in a sequence now (not connected, busy with
// another operation); empty when it can. `need`: what the sequence sets on
// it ("its mutes between the sweeps").
QString UnitNotReady(const QString& need);
