// The channel settings sheet: the "Left&&Right" and "Sub Chan" output pages
// on two tabs, with OK and Cancel, both of which simply close it (every
// change is already in the model and the unit).
#pragma once

#include <QDialog>

class CDlgOutput;
class QTabWidget;

class CDlgSetting : public QDialog {
    Q_OBJECT
public:
    explicit CDlgSetting(QWidget* owner = nullptr);

    // The page in front when the sheet is shown: "Sub Chan" for slot 2,
    // "Left&&Right" for any other slot.
    void SetStartPageForSlot(int slot);

    QTabWidget* tabs() const { return tabs_; }
    CDlgOutput* page(int index) const;

private:
    QTabWidget* tabs_;
};
