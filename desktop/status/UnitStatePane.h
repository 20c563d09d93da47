// The status bar's message pane as it follows the unit: "Ready", "Unit not
// answering", and the edits that have not reached the unit ("3 changes not
// sent"), which the window must never pass off as the unit's. When kept
// edits reach the unit and its setting reads back otherwise, the user is
// told which values the unit holds (the pages already show them).
#pragma once

#include <QObject>

class QLabel;
class QWidget;
struct ResendReport;

// "Ready", "Unit not answering", "3 changes not sent", "Unit not answering:
// 1 change not sent".
QString UnitStateText(bool answering, int pending);

class UnitStatePane : public QObject {
    Q_OBJECT
public:
    // Follows UnitTasks() in `pane`, which it does not own; its boxes open over `window`.
    UnitStatePane(QLabel* pane, QWidget* window);

    // A disconnect leaves no unit to speak of: nothing it did (the disconnect
    // unanswered) is a fault. A connect that failed keeps what it found.
    void FollowConnection();

private:
    void Show();
    void TellResent(const ResendReport& report);

    QLabel* pane_;
    QWidget* window_;
    bool answering_ = true;
    int pending_ = 0;
    bool wasConnected_ = false;
};
