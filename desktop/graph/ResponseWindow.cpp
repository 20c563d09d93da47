#include "graph/ResponseWindow.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "ResponseFiles.h"
#include "ResponsePlot.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "graph/ExportFiles.h"
#include "graph/TuningBar.h"
#include "response/GraphCurve.h"

namespace {

// The graph of both channels of the model, filling the widget, with the
// tuning row's measurements and predictions.
class BothChannelsGraph : public QWidget {
public:
    BothChannelsGraph(QWidget* parent, const CTuningBar& tuning) : QWidget(parent), tuning_(tuning)
    {
        setMinimumSize(kGraphWidth, kGraphHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return QSize(2 * kGraphWidth, 2 * kGraphHeight); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const PlotStyle style = ScreenPlotStyle();
        std::vector<PlotCurve> curves = ChannelCurves(model, style);
        for (PlotCurve& overlay : tuning_.OverlayCurves()) curves.push_back(std::move(overlay));
        DrawResponsePlot(painter, rect(), curves, style);
    }

private:
    const CTuningBar& tuning_;
};

}  // namespace

CResponseWindow::CResponseWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Response - Quenbar"));
    tuning_ = new CTuningBar(this);
    graph_ = new BothChannelsGraph(this, *tuning_);
    graph_->setObjectName(QStringLiteral("graph"));
    connect(&ModelChangeNotifier(), &ModelChanges::changed, graph_, qOverload<>(&QWidget::update));
    connect(tuning_, &CTuningBar::overlayChanged, graph_, qOverload<>(&QWidget::update));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const struct {
        const char* format;
        const char* filter;
        const char* suffix;
        Exporter exporter;
    } exports[] = {
        {"PNG", "PNG picture (*.png)", "png", &CResponseWindow::ExportPng},
        {"SVG", "SVG drawing (*.svg)", "svg", &CResponseWindow::ExportSvg},
        {"CSV", "CSV points (*.csv)", "csv", &CResponseWindow::ExportCsv},
    };
    for (const auto& e : exports) {
        const QString caption = QStringLiteral("Export %1").arg(QString::fromLatin1(e.format));
        auto* button = new QPushButton(caption + QStringLiteral("..."), this);
        button->setObjectName(QString::fromLatin1(e.suffix));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, caption, e] {
            AskAndExport(caption, QString::fromLatin1(e.filter), QString::fromLatin1(e.suffix), e.exporter);
        });
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(graph_, 1);
    layout->addWidget(tuning_);
    layout->addLayout(buttons);
}

bool CResponseWindow::ExportPng(const QString& path) const
{
    return SaveResponsePng(path, model, graph_->size(), graph_->font());
}

bool CResponseWindow::ExportSvg(const QString& path) const
{
    return SaveResponseSvg(path, model, graph_->size(), graph_->font());
}

bool CResponseWindow::ExportCsv(const QString& path) const { return SaveResponseCsv(path, model); }

void CResponseWindow::AskAndExport(const QString& caption, const QString& filter, const QString& suffix,
                                   Exporter exporter)
{
    const QString path = AskExportFileName(this, caption, filter, suffix);
    if (!path.isEmpty() && !(this->*exporter)(path)) ShowExportFailed(this, path);
}
