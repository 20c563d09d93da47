// The About box: the program's identity, and two hidden service functions
// for the unit (factory reset, display logo) armed by typed key sequences.
// The box opens short; arming the logo function shows the two logo lines.
#pragma once

#include <QDialog>

#include "app/ServiceKeys.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    bool ResetArmed() const { return resetArmed_; }
    bool LogoArmed() const { return logoArmed_; }
    QPushButton* OkButton() const { return ok_; }
    QLineEdit* LogoLine(int index) const { return index == 0 ? line1_ : line2_; }
    int FullHeight() const { return fullHeight_; }
    int ShortHeight() const;

    // The widget a typed key reaches first: the focused control, else the box.
    QWidget* KeyTarget();

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateIdentity();
    void CreateLogoArea();
    void Arm(ServiceFunction function);
    void RunReset();
    void RunLogo();

    QPushButton* ok_ = nullptr;
    QGroupBox* logoFrame_ = nullptr;
    QLineEdit* line1_ = nullptr;
    QLineEdit* line2_ = nullptr;
    bool resetArmed_ = false;
    bool logoArmed_ = false;
    int fullHeight_ = 0;
};

// The texts of the logo function's result box.
QString LogoResultText(bool succeeded);
