// The Live window (Config menu): the system watched on whatever plays
// (watch/LiveWatch.h): the input device, the microphone's and the
// reference's channels and the averaging, Start and Stop, the live curve
// with its coherence and the stored trace on the response graph, the delay,
// "Keep as the stored trace" or one opened from a file, the alarms, the time line of the edits, and a
// proposal of an output's PEQ on demand (LiveProposalBox.h).
//
// Every move of the setting's history (an edit, an undo, a redo) is marked
// on the watch with its label while it runs, so that an alarm that follows
// an edit names it. The analysis runs on a thread of its own (LiveRun.h):
// the window only shows its looks, several a second.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>

#include "LiveWatch.h"
#include "live/HistoryMoves.h"
#include "measure/SweepBox.h"

class LiveGraph;
class LiveProposalBox;
class LiveRun;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

class CLiveWindow : public QWidget {
    Q_OBJECT
public:
    explicit CLiveWindow(QWidget* parent = nullptr);
    ~CLiveWindow() override;

    // The settings as the controls give them.
    WatchSettings Settings() const;
    // Starts the watch; false (and said) when it cannot start.
    bool StartWatching();
    void StopWatching();
    bool Watching() const { return run_ != nullptr; }
    // The live trace's coherent points become the stored trace; false (and
    // said) while there are too few.
    bool KeepAsStored();
    // A measurement's text or a live trace saved before (the files watch
    // --against reads) becomes the stored trace; false (and said) when the
    // file cannot be read or used.
    bool OpenStored(const QString& path);

    // The last look shown, and how many were shown since the watch started.
    const std::optional<WatchLook>& LastLook() const { return look_; }
    int LooksShown() const { return looksShown_; }
    const LiveGraph* Graph() const { return graph_; }
    LiveProposalBox* ProposalBox() const { return proposal_; }

signals:
    void watchingChanged(bool watching);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeInputsBox();
    QWidget* MakeRunBox();
    void Show(const WatchLook& look);
    void ShowEdits(const std::vector<WatchEdit>& edits);
    void Fail(const QString& why);
    void MarkHistoryMove();
    void UpdateButtons();
    void UseStored(LevelCurve stored, const QString& said);

    QComboBox* record_ = nullptr;
    QSpinBox* microphone_ = nullptr;
    QSpinBox* reference_ = nullptr;
    QSpinBox* rate_ = nullptr;
    QDoubleSpinBox* average_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* keep_ = nullptr;
    QPushButton* open_ = nullptr;
    QLabel* delay_ = nullptr;
    QLabel* coherent_ = nullptr;
    RunStatus status_;  // its message line alone
    QListWidget* alarms_ = nullptr;
    QListWidget* edits_ = nullptr;
    LiveGraph* graph_ = nullptr;
    LiveProposalBox* proposal_ = nullptr;

    std::unique_ptr<LiveRun> run_;
    HistoryMoves moves_;
    std::optional<WatchLook> look_;
    int looksShown_ = 0;
    std::optional<LevelCurve> stored_;
};
