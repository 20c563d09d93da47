#include "ReportPage.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QBuffer>

#include "ResponsePlot.h"
#include "SettingTexts.h"

namespace {

constexpr double kMarginMm = 16.0;
constexpr double kValuePartMm = 20.0;  // room for "20200Hz", "-12.0dB", "14.12 Ft"
constexpr double kFooterPoints = 7.5;

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

// The parts of a value in sub-columns, so that a column of bands or
// filters reads straight down.
void DrawValue(PageWriter& page, const SettingValue& value, double left, const QFont& font)
{
    for (std::size_t i = 0; i < value.size(); ++i)
        page.Text(QString::fromStdString(value[i]), left + static_cast<double>(i) * Mm(kValuePartMm), font,
                  kReportInk);
}

}  // namespace

double Mm(double millimetres) { return millimetres * kReportDotsPerInch / 25.4; }

QFont ReportFont(double points, bool bold)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

PageWriter::PageWriter(QPainter& painter, const QRectF& page) : painter_(painter), page_(page), y_(page.top()) {}

double PageWriter::Text(const QString& text, double left, const QFont& font, const QColor& colour,
                        Qt::Alignment align, double width)
{
    painter_.setFont(font);
    painter_.setPen(colour);
    const double height = LineHeight(font);
    const QRectF box(left, y_, width > 0 ? width : page_.right() - left, height);
    painter_.drawText(box, align | Qt::AlignVCenter, text);
    return height;
}

double PageWriter::Wrapped(const QString& text, double left, const QFont& font, const QColor& colour)
{
    painter_.setFont(font);
    painter_.setPen(colour);
    const QRectF box(left, y_, page_.right() - left, page_.bottom() - y_);
    QRectF used;
    painter_.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text, &used);
    return used.height();
}

void PageWriter::Rule(double weightMm, const QColor& colour)
{
    painter_.setPen(QPen(colour, Mm(weightMm)));
    painter_.drawLine(QPointF(page_.left(), y_), QPointF(page_.right(), y_));
}

double PageWriter::LineHeight(const QFont& font) const { return QFontMetricsF(font, painter_.device()).height(); }

void DrawReportHeading(PageWriter& page, const QString& kind, const ReportHeading& heading)
{
    const QRectF& area = page.Page();
    page.Text(kind, area.left(), ReportFont(9), kReportMutedInk, Qt::AlignRight);
    page.Down(page.Text(heading.name, area.left(), ReportFont(20, true), kReportInk));
    page.Down(Mm(1));
    page.Down(page.Text(heading.source, area.left(), ReportFont(10), kReportMutedInk));
    page.Down(Mm(3));
    page.Rule(0.4, kReportInk);
    page.Down(Mm(4));
}

void DrawChannelTitle(PageWriter& page, const QString& name, const QColor& colour, double left)
{
    const double height = page.LineHeight(ReportFont(10, true));
    page.Painter().setPen(QPen(colour, Mm(0.8)));
    page.Painter().drawLine(QPointF(left, page.Y() + height / 2), QPointF(left + Mm(5), page.Y() + height / 2));
    page.Text(name, left + Mm(7), ReportFont(10, true), kReportInk);
}

void DrawSettingsTable(PageWriter& page, const ParameterModel& model, const PlotStyle& style,
                       const ParameterModel* compared)
{
    const Columns columns = TableColumns(page.Page());
    const QFont groupFont = ReportFont(9.5, true);
    const QFont rowFont = ReportFont(9.5);
    const double rowHeight = page.LineHeight(rowFont) * 1.35;
    const std::vector<SettingGroup> groups = ChannelSettingGroups(model);
    const std::vector<SettingGroup> others = compared ? ChannelSettingGroups(*compared) : groups;
    const auto font = [&](const SettingValue& value, const SettingValue& other) {
        return value == other ? rowFont : groupFont;
    };

    DrawChannelTitle(page, QStringLiteral("Left&Right"), style.leftRight, columns.leftRight);
    DrawChannelTitle(page, QStringLiteral("Sub"), style.sub, columns.sub);
    page.Down(rowHeight * 1.2);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        page.Painter().fillRect(QRectF(page.Page().left(), page.Y(), page.Page().width(), rowHeight), kReportBand);
        const double textTop = (rowHeight - page.LineHeight(rowFont)) / 2;
        page.Down(textTop);
        page.Text(QString::fromStdString(groups[g].title), columns.label + Mm(1.5), groupFont, kReportInk);
        page.Down(rowHeight);
        for (std::size_t r = 0; r < groups[g].rows.size(); ++r) {
            const SettingRow& row = groups[g].rows[r];
            const SettingRow& other = others[g].rows[r];
            page.Text(QString::fromStdString(row.label), columns.label + Mm(1.5), rowFont, kReportMutedInk);
            DrawValue(page, row.leftRight, columns.leftRight, font(row.leftRight, other.leftRight));
            DrawValue(page, row.sub, columns.sub, font(row.sub, other.sub));
            page.Down(rowHeight);
        }
        page.Down(rowHeight * 0.35 - textTop);
    }
}

double FooterTop(QPainter& painter, const QRectF& area)
{
    return area.bottom() - QFontMetricsF(ReportFont(kFooterPoints), painter.device()).height() - Mm(1.5);
}

void DrawReportFooter(PageWriter& page, double top)
{
    page.Down(top - page.Y());
    page.Rule();
    page.Down(Mm(1));
    const QString made = QStringLiteral("Made by Quenbar " QUENBAR_VERSION " on %1")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    page.Text(made, page.Page().left(), ReportFont(kFooterPoints), kReportMutedInk);
    page.Text(QStringLiteral("RX7.4 loudspeaker management"), page.Page().left(), ReportFont(kFooterPoints),
              kReportMutedInk, Qt::AlignRight);
}

QByteArray ReportPdf(const QString& title, int pages,
                     const std::function<void(QPainter& painter, const QRectF& area, int page)>& draw)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kReportDotsPerInch);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Quenbar"));
        QPainter painter;
        if (!painter.begin(&writer)) return {};
        // The painter's origin is the top left corner inside the margins.
        const QRectF area(QPointF(0, 0), writer.pageLayout().paintRectPixels(kReportDotsPerInch).size());
        for (int page = 0; page < pages; ++page) {
            if (page > 0) writer.newPage();
            draw(painter, area, page);
        }
    }
    return bytes;
}
