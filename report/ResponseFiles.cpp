#include "ResponseFiles.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include "ResponsePlot.h"
#include "WholeFile.h"
#include "response/ResponseCsv.h"

namespace {

void DrawBothChannels(QPainter& painter, const ParameterModel& model, QSize size, const QFont& font)
{
    const PlotStyle style = ScreenPlotStyle();
    painter.setFont(font);
    DrawResponsePlot(painter, QRectF(QPointF(0, 0), size), ChannelCurves(model, style), style);
}

}  // namespace

bool SaveResponsePng(const QString& path, const ParameterModel& model, QSize size, const QFont& font)
{
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        DrawBothChannels(painter, model, size, font);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") && WriteWholeFile(path, bytes);
}

bool SaveResponseSvg(const QString& path, const ParameterModel& model, QSize size, const QFont& font)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    // Drawn in pixels; the width and height say how large at 96 pixels per
    // inch, the size a browser shows a CSS pixel.
    svg.setResolution(96);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Response"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    DrawBothChannels(painter, model, size, font);
    painter.end();
    return WriteWholeFile(path, bytes);
}

bool SaveResponseCsv(const QString& path, const ParameterModel& model)
{
    return WriteWholeFile(path, QByteArray::fromStdString(ResponseCsv(model)));
}
