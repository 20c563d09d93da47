// The PEQ dialog: frequency, bandwidth or shelf kind, gain and bypass of
// the band curBand of the channel curChannel, with stepping to the
// neighbouring bands. Every change goes into the model and to the unit.
#pragma once

#include <QDialog>
#include <QTimer>

#include "dialogs/EditRules.h"
#include "dialogs/ScrollThinning.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;

class CDlgPeq : public QDialog {
    Q_OBJECT
public:
    explicit CDlgPeq(QWidget* parent = nullptr);

    static constexpr int kGainTimerMs = 100;

    // The scroll handlers, as the bars call them (public for tests that
    // replay a sequence of notifications).
    void OnGainScroll(ScrollCode code, int position);
    void OnFrequencyScroll(ScrollCode code, int position);
    void OnBandwidthScroll(ScrollCode code, int position);
    // The 100 ms timer's work, with the time it runs at.
    void OnGainTimer(PendingGainSend::Clock::time_point now);

private:
    int Band() const;
    void Build();
    void NameControls();
    void BuildFrequencyGroup();
    void BuildBandwidthGroup();
    void BuildGainGroup();
    void BuildBandStepping();
    void Refresh();
    void ApplyEnableRules();
    void SetFrequencyRange(const FrequencyRange& range);
    void SetFrequency(int step);
    void SetBandwidthBar(int step);
    void SetGainBar(int position);
    void ShowBellRange();
    void OnShelfClicked(bool high, bool ticked);
    void OnSetZeroDb();
    void OnEnter(QObject* focused);
    void OnTypedFrequency();
    void OnTypedBandwidth();
    void OnTypedGain();
    void MakeShelf(bool high);

    FrequencyRange range_{};
    PendingGainSend pendingGain_;
    QTimer gainTimer_;

    QScrollBar* freqBar_ = nullptr;
    QLabel* freqLeft_ = nullptr;
    QLabel* freqRight_ = nullptr;
    QLineEdit* freqEdit_ = nullptr;
    QScrollBar* bandwidthBar_ = nullptr;
    QLineEdit* bandwidthEdit_ = nullptr;
    QCheckBox* lowShelf_ = nullptr;
    QCheckBox* highShelf_ = nullptr;
    QSlider* gainBar_ = nullptr;
    QLineEdit* gainEdit_ = nullptr;
    QCheckBox* flat_ = nullptr;
    QLineEdit* bandName_ = nullptr;
    QPushButton* previousBand_ = nullptr;
    QPushButton* nextBand_ = nullptr;
};
