#include "SettingsReport.h"

#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

#include "ResponsePlot.h"
#include "SettingTexts.h"
#include "WholeFile.h"
#include "model/Model.h"

namespace {

constexpr int kDotsPerInch = 300;
constexpr double kMarginMm = 16.0;
constexpr double kValuePartMm = 20.0;  // room for "20200Hz", "-12.0dB", "14.12 Ft"
// The page graph's width to height, kept by the report's graphs at most.
constexpr double kGraphAspect = 460.0 / 190.0;

const QColor kInk(30, 30, 30);
const QColor kMutedInk(110, 110, 110);
const QColor kRule(170, 170, 170);
const QColor kGroupBand(236, 236, 236);

double Mm(double millimetres) { return millimetres * kDotsPerInch / 25.4; }

QFont ReportFont(double points, bool bold = false)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Draws page content from the top down; `y` is where the next line goes.
class PageWriter {
public:
    PageWriter(QPainter& painter, const QRectF& page) : painter_(painter), page_(page), y_(page.top()) {}

    // One line of text at `left` in the font and colour; returns its height.
    double Text(const QString& text, double left, const QFont& font, const QColor& colour,
                Qt::Alignment align = Qt::AlignLeft, double width = 0)
    {
        painter_.setFont(font);
        painter_.setPen(colour);
        const QFontMetricsF metrics(font, painter_.device());
        const QRectF box(left, y_, width > 0 ? width : page_.right() - left, metrics.height());
        painter_.drawText(box, align | Qt::AlignVCenter, text);
        return metrics.height();
    }

    void Rule(double weightMm = 0.2, const QColor& colour = kRule)
    {
        painter_.setPen(QPen(colour, Mm(weightMm)));
        painter_.drawLine(QPointF(page_.left(), y_), QPointF(page_.right(), y_));
    }

    void Down(double by) { y_ += by; }
    double Y() const { return y_; }
    QPainter& Painter() { return painter_; }
    const QRectF& Page() const { return page_; }

private:
    QPainter& painter_;
    QRectF page_;
    double y_;
};

void DrawHeading(PageWriter& page, const ReportHeading& heading)
{
    const QRectF& area = page.Page();
    page.Text(QStringLiteral("Settings report"), area.left(), ReportFont(9), kMutedInk, Qt::AlignRight);
    page.Down(page.Text(heading.name, area.left(), ReportFont(20, true), kInk));
    page.Down(Mm(1));
    page.Down(page.Text(heading.source, area.left(), ReportFont(10), kMutedInk));
    page.Down(Mm(3));
    page.Rule(0.4, kInk);
    page.Down(Mm(4));
}

// Column positions of the settings table.
struct Columns {
    double label, leftRight, sub, width;
};

Columns TableColumns(const QRectF& area)
{
    const double labelWidth = Mm(30);
    const double valueWidth = (area.width() - labelWidth) / 2;
    return {area.left(), area.left() + labelWidth, area.left() + labelWidth + valueWidth, valueWidth};
}

// A channel's name after a short stroke of its curve colour.
void ChannelTitle(PageWriter& page, const QString& name, const QColor& colour, double left)
{
    const double height = QFontMetricsF(ReportFont(10, true), page.Painter().device()).height();
    page.Painter().setPen(QPen(colour, Mm(0.8)));
    page.Painter().drawLine(QPointF(left, page.Y() + height / 2), QPointF(left + Mm(5), page.Y() + height / 2));
    page.Text(name, left + Mm(7), ReportFont(10, true), kInk);
}

// The parts of a value in sub-columns, so that a column of bands or
// filters reads straight down.
void DrawValue(PageWriter& page, const SettingValue& value, double left, const QFont& font)
{
    for (std::size_t i = 0; i < value.size(); ++i)
        page.Text(QString::fromStdString(value[i]), left + static_cast<double>(i) * Mm(kValuePartMm), font, kInk);
}

void DrawSettings(PageWriter& page, const ParameterModel& model, const PlotStyle& style)
{
    const Columns columns = TableColumns(page.Page());
    const QFont groupFont = ReportFont(9.5, true);
    const QFont rowFont = ReportFont(9.5);
    const double rowHeight = QFontMetricsF(rowFont, page.Painter().device()).height() * 1.35;

    ChannelTitle(page, QStringLiteral("Left&Right"), style.leftRight, columns.leftRight);
    ChannelTitle(page, QStringLiteral("Sub"), style.sub, columns.sub);
    page.Down(rowHeight * 1.2);
    for (const SettingGroup& group : ChannelSettingGroups(model)) {
        page.Painter().fillRect(QRectF(page.Page().left(), page.Y(), page.Page().width(), rowHeight), kGroupBand);
        const double textTop = (rowHeight - QFontMetricsF(rowFont, page.Painter().device()).height()) / 2;
        page.Down(textTop);
        page.Text(QString::fromStdString(group.title), columns.label + Mm(1.5), groupFont, kInk);
        page.Down(rowHeight);
        for (const SettingRow& row : group.rows) {
            page.Text(QString::fromStdString(row.label), columns.label + Mm(1.5), rowFont, kMutedInk);
            DrawValue(page, row.leftRight, columns.leftRight, rowFont);
            DrawValue(page, row.sub, columns.sub, rowFont);
            page.Down(rowHeight);
        }
        page.Down(rowHeight * 0.35 - textTop);
    }
}

// Both channels' graphs one above the other, as large as the room below
// the table allows, at most as wide for their height as the page graph.
void DrawGraphs(PageWriter& page, const ParameterModel& model, const PlotStyle& style, double bottom)
{
    const QFont titleFont = ReportFont(10, true);
    const double titleHeight = QFontMetricsF(titleFont, page.Painter().device()).height() + Mm(1.5);
    const double width = page.Page().width();
    const double room = (bottom - page.Y()) / 2 - titleHeight - Mm(3);
    const double height = std::min(room, width / kGraphAspect);
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        const PlotCurve curve = ChannelCurve(model, slot, style);
        page.Text(QStringLiteral("Response: ") + curve.name, page.Page().left(), titleFont, kInk);
        page.Down(titleHeight);
        page.Painter().setFont(ReportFont(7.5));
        DrawResponsePlot(page.Painter(), QRectF(page.Page().left(), page.Y(), width, height), std::span(&curve, 1),
                         style);
        page.Down(height + Mm(3));
    }
}

void DrawFooter(PageWriter& page, double top)
{
    page.Down(top - page.Y());
    page.Rule();
    page.Down(Mm(1));
    const QString made = QStringLiteral("Made by Quenbar " QUENBAR_VERSION " on %1")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    page.Text(made, page.Page().left(), ReportFont(7.5), kMutedInk);
    page.Text(QStringLiteral("RX7.4 loudspeaker management"), page.Page().left(), ReportFont(7.5), kMutedInk,
              Qt::AlignRight);
}

void DrawReport(QPainter& painter, const QRectF& area, const ParameterModel& model, const ReportHeading& heading)
{
    const PlotStyle style = PaperPlotStyle(kDotsPerInch);
    PageWriter page(painter, area);
    const double footerTop = area.bottom() - QFontMetricsF(ReportFont(7.5), painter.device()).height() - Mm(1.5);
    DrawHeading(page, heading);
    DrawSettings(page, model, style);
    page.Down(Mm(3));
    DrawGraphs(page, model, style, footerTop);
    DrawFooter(page, footerTop);
}

}  // namespace

QByteArray SettingsReportPdf(const ParameterModel& model, const ReportHeading& heading)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kDotsPerInch);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(heading.name);
        writer.setCreator(QStringLiteral("Quenbar"));
        QPainter painter;
        if (!painter.begin(&writer)) return {};
        // The painter's origin is the top left corner inside the margins.
        const QSize paintSize = writer.pageLayout().paintRectPixels(kDotsPerInch).size();
        DrawReport(painter, QRectF(QPointF(0, 0), paintSize), model, heading);
    }
    return bytes;
}

bool WriteSettingsReport(const QString& path, const ParameterModel& model, const ReportHeading& heading)
{
    const QByteArray bytes = SettingsReportPdf(model, heading);
    return !bytes.isEmpty() && WriteWholeFile(path, bytes);
}
