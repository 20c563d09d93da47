// A pair of arrow buttons beside an edit box that steps a whole number
// within a range. Before each user step it tells its owner the position and
// the change asked for, so that the owner can apply its rule; the up-down
// then moves by itself. It never writes into its buddy: the owner writes
// every text. The Up and Down keys in the buddy step it as well.
#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

class CUpDown : public QWidget {
    Q_OBJECT
public:
    explicit CUpDown(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* buddy);
    void SetRange(int lower, int upper);
    void SetPosition(int position);
    int position() const { return position_; }

    // One user step: +1 up, -1 down.
    void Step(int change);

signals:
    void positionChanging(int position, int change);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
    QLineEdit* buddy_ = nullptr;
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
};
