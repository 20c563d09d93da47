// A circular push button with a shaded three-dimensional rim (the main
// view's "MIX"). Placed on a control's rectangle (or resized), it makes
// itself the square of the shorter side, keeping its top-left corner, and
// clips its window to the circle in that square, so clicks outside the
// circle fall through to the parent.
#pragma once

#include <QColor>
#include <QPoint>
#include <QPushButton>
#include <vector>

class CRoundButton : public QPushButton {
    Q_OBJECT
public:
    explicit CRoundButton(QWidget* parent = nullptr);
    explicit CRoundButton(const QString& caption, QWidget* parent = nullptr);

    // Takes the control's rectangle and becomes the circle in its square.
    void PlaceOn(const QRect& control);

    int CentreX() const { return centreX_; }
    int CentreY() const { return centreY_; }
    int Radius() const { return radius_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void FitToCircle();
    void PaintRims(QPainter& painter, int radius) const;
    void PaintCaption(QPainter& painter, int radius) const;

    int centreX_ = 0;
    int centreY_ = 0;
    int radius_ = 0;
    const bool drawFocusCircle_ = true;
};

// The first octant of a circle outline of the given radius, as the integer
// midpoint walk visits it: one (x, y) offset per step, y growing from 0
// while y <= x. Every step stands for eight mirrored points.
std::vector<QPoint> MidpointOctant(int radius);

// The colour of a shaded rim point in the direction `angle` (radians,
// atan2 with y growing downwards): all `first` towards the upper left,
// all `second` towards the lower right, components truncated.
QColor RimShade(double angle, const QColor& first, const QColor& second);
