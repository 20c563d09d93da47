// The output channel page: level, mute, polarity, the PEQ band summary, the
// crossover summary, delay, limiter and the channel's response graph, for
// one channel slot. Every change goes into the model and to the unit at once.
#pragma once

#include <QPen>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>

#include "dialogs/EditRules.h"

class CFrameButton;
class CUpDown;
class QCheckBox;
class QLineEdit;
class QSlider;

class CDlgOutput : public QWidget {
    Q_OBJECT
public:
    CDlgOutput(int slot, const QString& title, QWidget* parent = nullptr);

    int slot() const { return slot_; }
    const QString& title() const { return title_; }
    QRect graphRect() const { return graphRect_; }

    // Read every control from the model, set curChannel, start the graph timer.
    void Activate();
    // Stop the graph timer.
    void Deactivate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct LimiterTime {
        QLineEdit* edit;
        CUpDown* upDown;
    };
    struct BandRow {
        CFrameButton* freq;
        CFrameButton* gain;
        CFrameButton* q;
        QCheckBox* flat;
    };

    void BuildCrossoverGroup();
    void BuildPeqGroup();
    void BuildLevelGroup();
    void BuildLimiterGroup();
    void BuildDelayGroup();
    LimiterTime AddLimiterTime(const char* label, int y, bool shown);
    void NameControls();

    void RefreshBands();
    void RefreshCrossover();
    void RefreshDelayTexts();
    void PushData();
    void RedrawGraph();
    void Send(int leftRightId, int subId);

    void OnLevelMoved(int position);
    void OnDelayStep(int position, int change);
    void OnThresholdStep(int position, int change);
    void OnHoldStep(int position, int change);
    void OnFlatClicked(int band, bool checked);
    void OnBandButton(int band);
    void OnCrossoverButton(int side);
    void OnEnter(QObject* focused);
    void SetLevelPosition(int position);
    void SetDelay(int delay);

    const int slot_;
    const QString title_;
    QString levelText_;
    QRect graphRect_;
    QPen curvePen_{QColor(255, 0, 0), 1};
    QTimer graphTimer_;

    std::array<CFrameButton*, 4> crossoverButtons_{};
    QCheckBox* crossoverOn_ = nullptr;
    std::array<BandRow, 3> bands_{};
    QSlider* level_ = nullptr;
    QLineEdit* levelEdit_ = nullptr;
    QCheckBox* mute_ = nullptr;
    QCheckBox* polarity_ = nullptr;
    QLineEdit* thresholdEdit_ = nullptr;
    CUpDown* thresholdUpDown_ = nullptr;
    LimiterTime attack_{}, hold_{}, decay_{};
    std::array<QLineEdit*, 3> delayEdits_{};  // milliseconds, metres, feet
    std::array<CUpDown*, 3> delayUpDowns_{};
};
