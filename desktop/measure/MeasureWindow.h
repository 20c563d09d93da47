// The Measure window (Config menu): each output measured through the sound
// card with the unit's mutes driving the sequence (measure/Measurement.h),
// at one microphone position or several (PositionsMeasurement.h): the
// devices, the sweep's level and length, the outputs, the positions, a live
// input meter, the progress with Cancel, the curves of every output on one
// response graph (of several positions each position's, their average and
// spread), the impulse responses, the verdict of each output, Save (the
// measurement's files) and "Use for the fit", which hands the measurement to
// the response window's tuning row.
//
// The sequence runs on a worker thread (SoundRun.h): the window keeps
// answering. Between two positions a box that does not block the window
// says which position is next and lets the person go on, measure the
// position again or cancel; the person's mutes are back while it waits.
// Cancel, and closing the window, end the measurement at its next step; the
// mutes are put back either way.
#pragma once

#include <QWidget>

#include <optional>

#include "measure/SoundRun.h"
#include "measure/SweepBox.h"

class CTuningBar;
class ImpulsePlot;
class MeasuredCurvesGraph;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

// How a measurement ended: its result, or why there is none.
struct MeasurementOutcome {
    std::optional<PositionsResult> result;
    RunFailure failure;  // its unrestored mutes also after a result
};

class CMeasureWindow : public QWidget {
    Q_OBJECT
public:
    explicit CMeasureWindow(QWidget* parent = nullptr);
    // Cancels a measurement under way: one waiting for the person would wait for ever.
    ~CMeasureWindow() override;

    // The settings as the controls give them.
    MeasureSettings Settings() const;
    // Starts the sequence, unless one runs or no unit is connected (the
    // window says so): false then.
    bool StartMeasuring();
    bool Measuring() const { return run_ != nullptr; }
    void CancelMeasuring();
    const std::optional<PositionsResult>& Result() const { return result_; }
    // While a measurement of several positions runs: those measured so far.
    const std::vector<MeasurementResult>& Measured() const { return measured_; }
    // The box between two positions while the measurement waits for the person; nullptr otherwise.
    QMessageBox* PositionBox() const { return positionBox_; }
    // Writes the measurement's files into `folder`; false (and said) when it cannot.
    bool SaveTo(const QString& folder);

    const MeasuredCurvesGraph* Curves() const { return curves_; }
    const ImpulsePlot* Impulses() const { return impulses_; }

signals:
    // "Use for the fit": the measurement for the response window's tuning row.
    void useForFit(const PositionsResult& measurement);
    // A sequence started or ended.
    void measuringChanged(bool measuring);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeRunBox();
    void AskForPosition(const PositionShown& pause);
    void Answer(PositionChoice choice);
    void Finish(const MeasurementOutcome& outcome);
    void ShowResult(const PositionsResult& result);
    void ShowCurves(const std::vector<MeasurementResult>& positions, const std::vector<OutputAverage>& averages);
    // The verdicts of one position, or over several the averages'.
    void FillTable(const MeasurementResult& result);
    void FillAverages(const std::vector<OutputAverage>& averages);
    void AskAndSave();
    void UpdateButtons();

    SweepBox* sweep_ = nullptr;
    QSpinBox* positions_ = nullptr;
    RunStatus status_;
    QPushButton* measure_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* use_ = nullptr;
    MeasuredCurvesGraph* curves_ = nullptr;
    ImpulsePlot* impulses_ = nullptr;
    QTableWidget* table_ = nullptr;
    SoundRun* run_ = nullptr;
    QMessageBox* positionBox_ = nullptr;
    std::vector<MeasurementResult> measured_;  // the positions measured so far, while a measurement runs
    std::optional<PositionsResult> result_;
};

// Hands the measurement to the tuning row: Left & Right and the Sub each
// take what the fit of their channel uses (FitMeasurement.h), where it was measured.
void UseForFit(CTuningBar& tuning, const PositionsResult& measurement);
