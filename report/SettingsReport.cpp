#include "SettingsReport.h"

#include <QPainter>

#include <algorithm>

#include "ResponsePlot.h"
#include "WholeFile.h"
#include "model/Model.h"

namespace {

// The page graph's width to height, kept by the report's graphs at most.
constexpr double kGraphAspect = 460.0 / 190.0;

// Both channels' graphs one above the other, as large as the room below
// the table allows, at most as wide for their height as the page graph.
void DrawGraphs(PageWriter& page, const ParameterModel& model, const PlotStyle& style, double bottom)
{
    const QFont titleFont = ReportFont(10, true);
    const double titleHeight = page.LineHeight(titleFont) + Mm(1.5);
    const double width = page.Page().width();
    const double room = (bottom - page.Y()) / 2 - titleHeight - Mm(3);
    const double height = std::min(room, width / kGraphAspect);
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        const PlotCurve curve = ChannelCurve(model, slot, style);
        page.Text(QStringLiteral("Response: ") + curve.name, page.Page().left(), titleFont, kReportInk);
        page.Down(titleHeight);
        page.Painter().setFont(ReportFont(7.5));
        DrawResponsePlot(page.Painter(), QRectF(page.Page().left(), page.Y(), width, height), std::span(&curve, 1),
                         style);
        page.Down(height + Mm(3));
    }
}

void DrawReport(QPainter& painter, const QRectF& area, const ParameterModel& model, const ReportHeading& heading)
{
    const PlotStyle style = PaperPlotStyle(kReportDotsPerInch);
    PageWriter page(painter, area);
    const double footerTop = FooterTop(painter, area);
    DrawReportHeading(page, QStringLiteral("Settings report"), heading);
    DrawSettingsTable(page, model, style);
    page.Down(Mm(3));
    DrawGraphs(page, model, style, footerTop);
    DrawReportFooter(page, footerTop);
}

}  // namespace

QByteArray SettingsReportPdf(const ParameterModel& model, const ReportHeading& heading)
{
    return ReportPdf(heading.name, 1,
                     [&](QPainter& painter, const QRectF& area, int) { DrawReport(painter, area, model, heading); });
}

bool WriteSettingsReport(const QString& path, const ParameterModel& model, const ReportHeading& heading)
{
    const QByteArray bytes = SettingsReportPdf(model, heading);
    return !bytes.isEmpty() && WriteWholeFile(path, bytes);
}
