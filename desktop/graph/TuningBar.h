// The response window's tuning row: per channel a measurement imported and
// drawn with its prediction, an equaliser file's filters imported onto the
// channel's bands, a PEQ fitted to the measurement, each shown as a
// proposal and applied as one step of the edit history ("Fit PEQ Sub"), which
// the row's Undo button (and Ctrl+Z) takes back.
#pragma once

#include <QFutureWatcher>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

#include "ResponsePlot.h"
#include "graph/ChannelMeasurement.h"
#include "graph/PeqProposalDialog.h"
#include "tuning/PeqFit.h"

class QComboBox;
class QPushButton;

class CTuningBar : public QWidget {
    Q_OBJECT
public:
    explicit CTuningBar(QWidget* parent);

    // The channel slot the buttons work on.
    int Slot() const;
    const ChannelMeasurement* MeasurementOf(int slot) const;
    // Each measurement and its prediction from the channel's bands in `model`.
    std::vector<PlotCurve> OverlayCurves() const;

    // The steps behind the buttons, for callers that have the file already.
    bool ImportMeasurement(int slot, const QString& path);
    // The channel's measurement drawn and fitted from now on (one made by
    // the Measure window, or imported).
    void UseMeasurement(int slot, ChannelMeasurement measurement);
    void ImportFilterFile(int slot, const QString& path);
    // Asks the fit's options, then fits on a worker thread: the window
    // answers meanwhile, and the proposal is offered when the fit ends.
    void FitMeasurement(int slot);

signals:
    void overlayChanged();

private:
    // What a fit on the worker thread gives back: its result or why there is none.
    struct FitRun {
        std::optional<FitResult> result;
        QString error;
    };

    QPushButton* AddButton(const QString& text, const char* name, void (CTuningBar::*action)(int));
    void AskForMeasurement(int slot);
    void AskForFilters(int slot);
    void ClearMeasurement(int slot);
    // The options asked and remembered, with the target read; empty when
    // cancelled or when the target file cannot be used (said in a box).
    std::optional<FitOptions> AskFitOptions();
    void FitFinished();
    void Offer(const PeqProposal& proposal);
    void UpdateButtons();

    QComboBox* channel_ = nullptr;
    QPushButton* fit_ = nullptr;
    QPushButton* clear_ = nullptr;
    std::array<std::optional<ChannelMeasurement>, kChannelSlots> measurements_;
    QFutureWatcher<FitRun> fitRun_;
    int fitSlot_ = kSlotLeftRight;
    QString fitName_;
};
