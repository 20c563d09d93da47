// The crossover dialog: filter type and corner frequency of the high-pass
// (side 0) or the low-pass (side 1) filter of the channel curChannel. The
// high-pass corner is kept at or below the low-pass corner.
#pragma once

#include <QDialog>

#include "dialogs/EditRules.h"
#include "dialogs/ScrollThinning.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;

class CDlgXover : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHighPass = 0;
    static constexpr int kLowPass = 1;
    static constexpr int kOfferedTypes = 25;

    explicit CDlgXover(int side, QWidget* parent = nullptr);

    int side() const { return side_; }
    // The frequency bar's notifications (public for tests that replay them).
    void OnFrequencyScroll(ScrollCode code, int position);

private:
    int Slot() const;
    int& Type() const;
    int& Frequency() const;
    StepRange Range() const;
    void Build();
    void Refresh();
    void SetFrequency(int step);
    void SendSide();
    void OnSideClicked(int side);
    void OnTypeSelected();
    void OnTypedFrequency();

    int side_;
    StepRange highPassRange_{};
    StepRange lowPassRange_{};

    QListWidget* types_ = nullptr;
    QScrollBar* freqBar_ = nullptr;
    QLabel* freqLeft_ = nullptr;
    QLabel* freqRight_ = nullptr;
    QLineEdit* freqEdit_ = nullptr;
    QPushButton* highPassButton_ = nullptr;
    QPushButton* lowPassButton_ = nullptr;
};
