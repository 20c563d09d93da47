// Turns what a Qt scroll bar or track bar does into one ScrollCode per
// notification, in the order a user's hand produces them: line and page
// steps, thumb tracking, thumb release, and an end of scroll when the mouse
// button or key that scrolled comes up.
#pragma once

#include <QAbstractSlider>
#include <QObject>

#include "dialogs/ScrollThinning.h"

class ScrollNotifier : public QObject {
    Q_OBJECT
public:
    explicit ScrollNotifier(QAbstractSlider* slider);

signals:
    // position: where the bar's thumb now is.
    void scrolled(ScrollCode code, int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnAction(int action);
    void Notify(ScrollCode code);

    QAbstractSlider* slider_;
    bool mousePressed_ = false;
};
