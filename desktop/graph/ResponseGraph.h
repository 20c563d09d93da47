// The output page's response graph: a 460 x 190 picture with a decibel grid,
// a logarithmic frequency grid and the response curve of one channel slot.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRect>

#include <span>

#include "response/GraphCurve.h"

struct ParameterModel;

// Draws the grid, the labels and the curve of `response` (one dB value per
// frequency step; entry 0 is not drawn) into a fresh 460 x 190 image.
QImage RenderResponseImage(std::span<const double> response, const QColor& curveColour);

// Draws the response of `slot` into `graphRect` of the target: unscaled and
// centred when the rectangle is larger than the image both ways, otherwise
// scaled to fill the rectangle. The curve takes its colour from `curvePen`.
void DrawResponseGraph(QPainter& target, const ParameterModel& model, int slot, const QRect& graphRect,
                       const QPen& curvePen);
