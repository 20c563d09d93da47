// The Measure window (Config menu): each output measured through the sound
// card with the unit's mutes driving the sequence (measure/Measurement.h):
// the devices, the sweep's level and length, the outputs, a live input
// meter, the progress with Cancel, the curves of every output on one
// response graph, the impulse responses, the verdict of each output, Save
// (the measurement's files) and "Use for the fit", which hands the
// measurement to the response window's tuning row.
//
// The sequence runs on a worker thread (SoundRun.h): the window keeps
// answering. Cancel, and closing the window, end it at its next step; the
// mutes are put back either way.
#pragma once

#include <QWidget>

#include <optional>

#include "measure/SoundRun.h"
#include "measure/SweepBox.h"

class CTuningBar;
class ImpulsePlot;
class MeasuredCurvesGraph;
class QPushButton;
class QTableWidget;

// How a measurement ended: its result, or why there is none.
struct MeasurementOutcome {
    std::optional<MeasurementResult> result;
    RunFailure failure;  // its unrestored mutes also after a result
};

class CMeasureWindow : public QWidget {
    Q_OBJECT
public:
    explicit CMeasureWindow(QWidget* parent = nullptr);

    // The settings as the controls give them.
    MeasureSettings Settings() const;
    // Starts the sequence, unless one runs or no unit is connected (the
    // window says so): false then.
    bool StartMeasuring();
    bool Measuring() const { return run_ != nullptr; }
    void CancelMeasuring();
    const std::optional<MeasurementResult>& Result() const { return result_; }
    // Writes the measurement's files into `folder`; false (and said) when it cannot.
    bool SaveTo(const QString& folder);

    const MeasuredCurvesGraph* Curves() const { return curves_; }
    const ImpulsePlot* Impulses() const { return impulses_; }

signals:
    // "Use for the fit": the measurement for the response window's tuning row.
    void useForFit(const MeasurementResult& measurement);
    // A sequence started or ended.
    void measuringChanged(bool measuring);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeRunBox();
    void Finish(const MeasurementOutcome& outcome);
    void ShowResult(const MeasurementResult& result);
    void FillTable(const MeasurementResult& result);
    void AskAndSave();
    void UpdateButtons();

    SweepBox* sweep_ = nullptr;
    RunStatus status_;
    QPushButton* measure_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* use_ = nullptr;
    MeasuredCurvesGraph* curves_ = nullptr;
    ImpulsePlot* impulses_ = nullptr;
    QTableWidget* table_ = nullptr;
    SoundRun* run_ = nullptr;
    std::optional<MeasurementResult> result_;
};

// Hands the measurement to the tuning row: Left & Right and the Sub each
// take what the fit of their channel uses (FitMeasurement.h), where it was measured.
void UseForFit(CTuningBar& tuning, const MeasurementResult& measurement);
