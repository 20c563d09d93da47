#include "TuneReport.h"

#include <QPainter>

#include <algorithm>

#include "TuneTexts.h"
#include "WholeFile.h"

namespace {

constexpr double kTextPoints = 8.5;
constexpr double kPartColumnMm = 34.0;
constexpr double kAppliedColumnMm = 20.0;
constexpr double kCheckColumnMm = 36.0;
// The graphs' width to height at most: taller than the page graph's, as they are small.
constexpr double kSmallGraphAspect = 1.7;

QString Q(const std::string& text) { return QString::fromStdString(text); }

void SectionTitle(PageWriter& page, const QString& title)
{
    page.Down(page.Text(title, page.Page().left(), ReportFont(11, true), kReportInk) + Mm(1));
    page.Rule();
    page.Down(Mm(1.5));
}

// Each part on its line with whether it was applied, its effect and note below.
void DrawProposal(PageWriter& page, const TuneReportContent& c)
{
    SectionTitle(page, QStringLiteral("Proposal"));
    const QFont bold = ReportFont(kTextPoints, true), plain = ReportFont(kTextPoints);
    const double left = page.Page().left(), text = left + Mm(kPartColumnMm + kAppliedColumnMm);
    const double line = page.LineHeight(plain) * 1.15;
    for (const TunePart part : kTuneParts) {
        const TunePartText words = DescribePart(*c.before, *c.proposal, part);
        page.Text(Q(words.part), left, bold, kReportInk);
        page.Text(Takes(c.applied, part) ? QStringLiteral("applied") : QStringLiteral("not applied"),
                  left + Mm(kPartColumnMm), plain, kReportMutedInk);
        page.Down(page.Wrapped(Q(words.proposal), text, plain, kReportInk) + line * 0.15);
        page.Down(page.Wrapped(Q(words.effect), text, plain, kReportMutedInk) + line * 0.15);
        if (!words.note.empty()) page.Down(page.Wrapped(Q(words.note), text, plain, kReportMutedInk) + line * 0.15);
        page.Down(line * 0.3);
    }
    for (const std::string& position : PositionSumTexts(*c.proposal))
        page.Down(page.Wrapped(Q(position), left, plain, kReportMutedInk) + line * 0.15);
    page.Down(Mm(2));
}

void DrawVerification(PageWriter& page, const TuneReportContent& c)
{
    SectionTitle(page, QStringLiteral("Measured again"));
    const QFont bold = ReportFont(kTextPoints, true), plain = ReportFont(kTextPoints);
    const double left = page.Page().left();
    const auto row = [&](const QString& a, const QString& b, const QString& d, const QString& e, const QFont& font) {
        page.Text(a, left, font, kReportInk);
        page.Text(b, left + Mm(kCheckColumnMm), font, kReportInk);
        page.Text(d, left + Mm(2 * kCheckColumnMm), font, kReportInk);
        page.Down(page.Text(e, left + Mm(3 * kCheckColumnMm), font, kReportInk) * 1.15);
    };
    if (c.positions)
        page.Down(page.Wrapped(Q(ChecksPositionText(*c.positions)), left, plain, kReportInk) + Mm(0.5));
    row(QStringLiteral("Output"), QStringLiteral("RMS before"), QStringLiteral("RMS after"),
        QStringLiteral("Largest difference from the prediction"), bold);
    for (const OutputCheckText& check : DescribeChecks(*c.verification))
        row(Q(check.output), Q(check.rmsBefore), Q(check.rmsAfter), Q(check.miss), plain);
    page.Down(Mm(1));
    if (c.passes > 1)
        page.Down(page.Wrapped(QStringLiteral("Applied in two passes: the second fitted the PEQ on the measurement "
                                              "after the first."),
                               left, plain, kReportInk) +
                  Mm(0.5));
    for (const std::string& finding : VerificationFindings(*c.verification, c.verifiedRegion))
        page.Down(page.Wrapped(Q(finding), left, plain, kReportInk) + Mm(0.5));
    if (c.positions)
        for (const std::string& position : SpatialVerificationTexts(*c.positions))
            page.Down(page.Wrapped(Q(position), left, plain, kReportInk) + Mm(0.5));
    page.Down(Mm(2));
}

// The four graphs two by two, as large as the room above `bottom` allows.
void DrawCurves(PageWriter& page, const TuneReportContent& c, double bottom)
{
    const PlotStyle style = PaperPlotStyle(kReportDotsPerInch);
    const QFont titleFont = ReportFont(9.5, true);
    const double titleHeight = page.LineHeight(titleFont) + Mm(1);
    const double gap = Mm(6);
    const double width = (page.Page().width() - gap) / 2;
    const double height = std::min((bottom - page.Y()) / 2 - titleHeight - Mm(2), width / kSmallGraphAspect);
    const double top = page.Y();
    for (std::size_t i = 0; i < std::size(kTuneOutputs); ++i) {
        const TuneOutput output = kTuneOutputs[i];
        const double x = page.Page().left() + static_cast<double>(i % 2) * (width + gap);
        const double y = top + static_cast<double>(i / 2) * (titleHeight + height + Mm(2));
        page.Down(y - page.Y());
        page.Text(TuneOutputTitle(output), x, titleFont, kReportInk);
        const TuneGraph graph = TuneCurves(c.measurements, output, PaperTuneColours());
        const QRectF area(x, y + titleHeight, width, height);
        page.Painter().setFont(ReportFont(6.5));
        DrawResponsePlot(page.Painter(), area, graph.curves, style);
        DrawPositionCurves(page.Painter(), area, graph.curves.size() > 1, graph.positions, style);
    }
}

void DrawFirstPage(PageWriter& page, const TuneReportContent& c, double footerTop)
{
    DrawReportHeading(page, QStringLiteral("Tune report"), c.heading);
    DrawProposal(page, c);
    if (c.verification) DrawVerification(page, c);
    DrawCurves(page, c, footerTop);
}

void DrawSettingsPage(PageWriter& page, const TuneReportContent& c)
{
    const PlotStyle style = PaperPlotStyle(kReportDotsPerInch);
    SectionTitle(page, QStringLiteral("The setting before"));
    DrawSettingsTable(page, *c.before, style);
    page.Down(Mm(4));
    SectionTitle(page, QStringLiteral("The setting after (changes in bold)"));
    DrawSettingsTable(page, *c.after, style, c.before);
}

}  // namespace

QByteArray TuneReportPdf(const TuneReportContent& content)
{
    return ReportPdf(content.heading.name, 2, [&](QPainter& painter, const QRectF& area, int index) {
        PageWriter page(painter, area);
        const double footerTop = FooterTop(painter, area);
        if (index == 0)
            DrawFirstPage(page, content, footerTop);
        else
            DrawSettingsPage(page, content);
        DrawReportFooter(page, footerTop);
    });
}

bool WriteTuneReport(const QString& path, const TuneReportContent& content)
{
    const QByteArray bytes = TuneReportPdf(content);
    return !bytes.isEmpty() && WriteWholeFile(path, bytes);
}
