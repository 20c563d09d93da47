// The Tune System window (Config menu): one pass over the system
// (TunePass.h). Measure plays the four outputs (the sweep's controls are
// the Measure window's) and shows the proposal: a table with a tick for
// each part (the Sub's alignment, its level, the PEQ of Left & Right and of
// the Sub) and its predicted effect, and the curves of each output and the
// system before and as predicted with the parts ticked. "Apply and measure
// again" sends the ticked parts as one step of the history and measures
// again: the curves after, each output's deviation from the target before
// and after, the crossover sum, the misses of the prediction, a second
// pass where it is due. Report writes all of it as a PDF.
//
// Of several microphone positions a box between two (PositionBox.h) says
// where to take the microphone next while the graphs show the positions
// measured so far, their average and spread; the box comes again before
// the verification's first position, and the proposal's and the
// verification's words say each position's sum and deviation.
//
// All sound and unit work runs on a worker thread (SoundRun.h): the window
// keeps answering; Cancel, and closing the window, end it at its next step.
#pragma once

#include <QWidget>

#include <optional>

#include "TunePass.h"
#include "measure/SoundRun.h"
#include "measure/SweepBox.h"

class MeasuredCurvesGraph;
class QDoubleSpinBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

// How a half of the pass ended: its result, or why there is none.
template <class Result>
struct TuneRunOutcome {
    std::optional<Result> result;
    RunFailure failure;
    std::vector<FieldChange> leftChanged;   // an apply that could not put everything back
    std::vector<AppliedPass> passesDone;    // a failure after the apply went through
};

class CTuneWindow : public QWidget {
    Q_OBJECT
public:
    explicit CTuneWindow(QWidget* parent = nullptr);
    // Cancels a pass under way: one waiting for the person would wait for ever.
    ~CTuneWindow() override;

    // Each starts its half of the pass unless one runs, no unit is
    // connected or (applying) there is no proposal: false then, and said.
    bool StartMeasuring();
    bool StartApplying();
    bool Running() const { return run_ != nullptr; }
    void Cancel();
    // Writes the report; false (and said) when it cannot.
    bool WriteReport(const QString& path);

    // The parts ticked now.
    TuneParts Parts() const;
    void SetPart(int row, bool ticked);
    const std::optional<TuneStart>& Start() const { return start_; }
    const std::optional<TuneOutcome>& Outcome() const { return outcome_; }
    const MeasuredCurvesGraph* Graph(int output) const { return graphs_[static_cast<std::size_t>(output)]; }
    // The box between two positions while the pass waits for the person; nullptr otherwise.
    QMessageBox* PositionBox() const { return positionBox_; }

signals:
    void runningChanged(bool running);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeRunBox();
    QWidget* MakeTables();
    template <class Result>
    void Begin(const QString& text, std::function<Result(TuneUnit&, const TuneCallbacks&, const std::atomic<bool>&)> work,
               std::function<void(const Result&)> done);
    template <class Result>
    bool Ended(const TuneRunOutcome<Result>& outcome);
    void AskForPosition(const PositionShown& pause);
    void ShowPositions(const std::vector<OutputAverage>& averages);
    void ShowProposal();
    void ShowCurves();
    void ShowVerification();
    void AskAndWriteReport();
    void UpdateButtons();

    SweepBox* sweep_ = nullptr;
    QDoubleSpinBox* subOffset_ = nullptr;
    QDoubleSpinBox* maxRise_ = nullptr;
    QSpinBox* positions_ = nullptr;
    RunStatus status_;
    QPushButton* measure_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* report_ = nullptr;
    std::array<MeasuredCurvesGraph*, 4> graphs_{};
    QTableWidget* proposal_ = nullptr;
    QTableWidget* checks_ = nullptr;
    QLabel* findings_ = nullptr;
    SoundRun* run_ = nullptr;
    QMessageBox* positionBox_ = nullptr;
    std::vector<MeasurementResult> measured_;  // the positions of the round under way, measured so far
    std::optional<TuneStart> start_;
    std::optional<TuneOutcome> outcome_;
    TuneParts applied_{false, false, false, false};
};
