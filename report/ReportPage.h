// What the reports share: A4 pages at 300 dots per inch inside 16 mm
// margins, their fonts and inks, a writer that lays lines down a page, the
// heading, the table of both channels' settings and the footer. Written
// with Qt's own PDF writer; a QGuiApplication must exist (fonts).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <functional>

class QPainter;
struct ParameterModel;
struct PlotStyle;

inline constexpr int kReportDotsPerInch = 300;

inline const QColor kReportInk(30, 30, 30);
inline const QColor kReportMutedInk(110, 110, 110);
inline const QColor kReportRule(170, 170, 170);
inline const QColor kReportBand(236, 236, 236);

struct ReportHeading {
    QString name;    // the memory's name, or what the setting is
    QString source;  // where it comes from: a file's memory, the unit ...
};

// Millimetres in the report's dots.
double Mm(double millimetres);
QFont ReportFont(double points, bool bold = false);

// Draws page content from the top down; `y` is where the next line goes.
class PageWriter {
public:
    PageWriter(QPainter& painter, const QRectF& page);

    // One line of text at `left` in the font and colour; returns its height.
    double Text(const QString& text, double left, const QFont& font, const QColor& colour,
                Qt::Alignment align = Qt::AlignLeft, double width = 0);
    // Text wrapped at words between `left` and the page's right edge; returns its height.
    double Wrapped(const QString& text, double left, const QFont& font, const QColor& colour);
    void Rule(double weightMm = 0.2, const QColor& colour = kReportRule);

    void Down(double by) { y_ += by; }
    double Y() const { return y_; }
    QPainter& Painter() { return painter_; }
    const QRectF& Page() const { return page_; }
    // The height of a line in `font` on this page.
    double LineHeight(const QFont& font) const;

private:
    QPainter& painter_;
    QRectF page_;
    double y_;
};

// The report's kind at the top right ("Settings report"), the heading's
// name large, its source below, and a rule.
void DrawReportHeading(PageWriter& page, const QString& kind, const ReportHeading& heading);

// A channel's name after a short stroke of its curve colour.
void DrawChannelTitle(PageWriter& page, const QString& name, const QColor& colour, double left);

// Every field of both channels, grouped as the output page groups them.
// With `compared`, the values that differ from its own are bold.
void DrawSettingsTable(PageWriter& page, const ParameterModel& model, const PlotStyle& style,
                       const ParameterModel* compared = nullptr);

// Where the footer begins on a page of `area`.
double FooterTop(QPainter& painter, const QRectF& area);
// From `top` down: a rule, what made the report and when.
void DrawReportFooter(PageWriter& page, double top);

// A PDF of `pages` A4 pages, each drawn by `draw` into the area inside the
// margins (its index from 0); empty when it cannot be made.
QByteArray ReportPdf(const QString& title, int pages,
                     const std::function<void(QPainter& painter, const QRectF& area, int page)>& draw);
