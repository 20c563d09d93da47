#include "graph/PeqProposalDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/Units.h"
#include "response/GraphCurve.h"

namespace {

// The before and after curves, filling the widget.
class ProposalPlot : public QWidget {
public:
    ProposalPlot(QWidget* parent, const std::vector<PlotCurve>& curves) : QWidget(parent), curves_(curves)
    {
        setMinimumSize(kGraphWidth, kGraphHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        DrawResponsePlot(painter, rect(), curves_, ScreenPlotStyle());
    }

private:
    const std::vector<PlotCurve>& curves_;
};

QString StepString(Scale scale, int step) { return QString::fromStdString(StepText(scale, step)); }

}  // namespace

QString PeqBandTypeText(const PeqBand& band)
{
    const QString type = band.shelf == Shelf::Low    ? QStringLiteral("Low shelf")
                         : band.shelf == Shelf::High ? QStringLiteral("High shelf")
                                                     : QStringLiteral("Peak");
    return band.flat ? type + QStringLiteral(" (flat)") : type;
}

CDlgPeqProposal::CDlgPeqProposal(QWidget* owner, PeqProposal proposal) : QDialog(owner), proposal_(std::move(proposal))
{
    setWindowTitle(proposal_.title + QStringLiteral(" - Quenbar"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeBandTable());
    if (proposal_.levelStep)
        layout->addWidget(
            new QLabel(QStringLiteral("Channel level: %1").arg(StepString(Scale::Level, *proposal_.levelStep)), this));
    auto* report = new QPlainTextEdit(proposal_.report.join(QLatin1Char('\n')), this);
    report->setObjectName(QStringLiteral("report"));
    report->setReadOnly(true);
    report->setMaximumHeight(6 * fontMetrics().height());
    layout->addWidget(report);
    layout->addWidget(new ProposalPlot(this, proposal_.curves), 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget* CDlgPeqProposal::MakeBandTable()
{
    const QStringList columns{QStringLiteral("Type"), QStringLiteral("Frequency"), QStringLiteral("Gain"),
                              QStringLiteral("Bandwidth")};
    auto* table = new QTableWidget(kPeqBands, static_cast<int>(columns.size()), this);
    table->setObjectName(QStringLiteral("bands"));
    table->setHorizontalHeaderLabels(columns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < kPeqBands; ++row) {
        const PeqBand& band = proposal_.bands[static_cast<std::size_t>(row)];
        table->setVerticalHeaderItem(row, new QTableWidgetItem(QStringLiteral("PEQ %1").arg(row + 1)));
        const QString cells[] = {PeqBandTypeText(band), StepString(Scale::Frequency, band.freq),
                                 StepString(Scale::PeqGain, band.gain), StepString(Scale::Bandwidth, band.bandwidth)};
        for (int column = 0; column < static_cast<int>(columns.size()); ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setMaximumHeight(table->horizontalHeader()->height() + kPeqBands * table->rowHeight(0) + 4);
    return table;
}
