// The About box: the program's identity, and two hidden service functions
// for the unit (factory reset, display logo) armed by typed key sequences.
// The box opens short; arming the logo function shows the two logo lines.
// An armed function runs on the unit off the GUI thread (UnitTasks.h) when
// the box is accepted; the box closes once it has ended.
#pragma once

#include <QDialog>
#include <functional>

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
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateIdentity();
    void CreateLogoArea();
    void Arm(ServiceFunction function);
    // Each runs its function, if armed, and then `then`.
    void RunReset(const std::function<void()>& then);
    void RunLogo(const std::function<void()>& then);

    QPushButton* ok_ = nullptr;
    QGroupBox* logoFrame_ = nullptr;
    QLineEdit* line1_ = nullptr;
    QLineEdit* line2_ = nullptr;
    bool resetArmed_ = false;
    bool logoArmed_ = false;
    bool running_ = false;  // the armed functions are under way
    int fullHeight_ = 0;
};

// "Quenbar <version>": the build's version, as `quenbar --version` says it.
QString ProgramVersionLine();

// The texts of the logo function's result box.
QString LogoResultText(bool succeeded);
