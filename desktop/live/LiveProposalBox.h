// The Live window's proposal on demand (watch/LiveProposal.h): the output
// picked, "Propose PEQ" fits its bands on the last look (on a thread of its
// own: a fit takes a good part of a second) toward the stored trace or
// flat, its words shown and its predicted curve handed to the graph;
// "Apply" makes it one step of the history, as every edit, unless the
// setting changed since it was made. Nothing reaches the unit before Apply.
#pragma once

#include <QFutureWatcher>
#include <QGroupBox>

#include <optional>

#include "LiveProposal.h"
#include "LiveWatch.h"
#include "response/Response.h"

class QComboBox;
class QLabel;
class QPushButton;

class LiveProposalBox : public QGroupBox {
    Q_OBJECT
public:
    // `look` and `stored` are the window's: what a proposal is fitted on.
    LiveProposalBox(QWidget* parent, const std::optional<WatchLook>& look, const std::optional<LevelCurve>& stored);
    ~LiveProposalBox() override;

    // Starts the fit for the output picked; false (and said) without a look.
    bool Propose();
    // Applies the proposal as one step of the history; false (and said)
    // without one, or when the setting changed since it was made.
    bool Apply();
    // Drops the proposal (the watch stopped).
    void Forget();
    void SetWatching(bool watching);

    const std::optional<LiveProposal>& Proposal() const { return proposal_; }
    bool Fitting() const { return fit_.isRunning(); }

signals:
    // The live curve as the proposal would make it, at the unit's steps
    // (NaN beyond the fit's range); nothing once there is no proposal.
    void predicted(const std::optional<ResponseCurve>& levels);

private:
    void Fitted();
    void Say(const QString& text);
    void UpdateButtons();

    const std::optional<WatchLook>& look_;
    const std::optional<LevelCurve>& stored_;
    QComboBox* output_ = nullptr;
    QPushButton* propose_ = nullptr;
    QPushButton* apply_ = nullptr;
    QLabel* words_ = nullptr;
    bool watching_ = false;
    QFutureWatcher<LiveProposalOutcome> fit_;
    std::optional<LiveProposal> proposal_;
};
