// The options of "Fit PEQ...", asked before each fit and remembered in the
// program's settings: the range, how far a band may boost and cut, and a
// target file (without one the target is flat at the measurement's mean
// level). The defaults are the core fit's own.
#pragma once

#include <QDialog>
#include <QString>

#include "tuning/PeqFit.h"

class QDialogButtonBox;
class QDoubleSpinBox;
class QLineEdit;

struct FitChoices {
    double lowHz = FitOptions{}.lowHz;
    double highHz = FitOptions{}.highHz;
    double maxBoostDb = FitOptions{}.maxBoostDb;
    double maxCutDb = FitOptions{}.maxCutDb;
    QString targetPath;  // empty: flat
};

// Section "Fit" of the settings; the defaults where nothing is stored.
FitChoices StoredFitChoices();
void StoreFitChoices(const FitChoices& choices);

class CDlgFitOptions : public QDialog {
    Q_OBJECT
public:
    CDlgFitOptions(QWidget* owner, const FitChoices& choices);
    FitChoices Choices() const;

private:
    QDoubleSpinBox* AddSpinBox(const char* name, double min, double max, double value, const QString& suffix);
    void ChooseTarget();
    void FollowRange();

    QDoubleSpinBox* lowHz_ = nullptr;
    QDoubleSpinBox* highHz_ = nullptr;
    QDoubleSpinBox* maxBoost_ = nullptr;
    QDoubleSpinBox* maxCut_ = nullptr;
    QLineEdit* target_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};
