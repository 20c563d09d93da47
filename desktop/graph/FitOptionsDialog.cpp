#include "graph/FitOptionsDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/AppSettings.h"
#include "graph/TuningFiles.h"

namespace {

const QString kLowEntry = QStringLiteral("Fit/LowHz");
const QString kHighEntry = QStringLiteral("Fit/HighHz");
const QString kBoostEntry = QStringLiteral("Fit/MaxBoostDb");
const QString kCutEntry = QStringLiteral("Fit/MaxCutDb");
const QString kTargetEntry = QStringLiteral("Fit/Target");

// The span of the unit's frequency steps, and of a band's gain.
constexpr double kLowestHz = 20.0;
constexpr double kHighestHz = 20000.0;
constexpr double kLargestGainDb = 12.0;

}  // namespace

FitChoices StoredFitChoices()
{
    const auto settings = ProgramSettings();
    const FitChoices defaults;
    return {settings->value(kLowEntry, defaults.lowHz).toDouble(),
            settings->value(kHighEntry, defaults.highHz).toDouble(),
            settings->value(kBoostEntry, defaults.maxBoostDb).toDouble(),
            settings->value(kCutEntry, defaults.maxCutDb).toDouble(), settings->value(kTargetEntry).toString()};
}

void StoreFitChoices(const FitChoices& choices)
{
    const auto settings = ProgramSettings();
    settings->setValue(kLowEntry, choices.lowHz);
    settings->setValue(kHighEntry, choices.highHz);
    settings->setValue(kBoostEntry, choices.maxBoostDb);
    settings->setValue(kCutEntry, choices.maxCutDb);
    settings->setValue(kTargetEntry, choices.targetPath);
}

CDlgFitOptions::CDlgFitOptions(QWidget* owner, const FitChoices& choices) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Fit PEQ - Quenbar"));
    auto* form = new QFormLayout(this);
    lowHz_ = AddSpinBox("lowHz", kLowestHz, kHighestHz, choices.lowHz, QStringLiteral(" Hz"));
    highHz_ = AddSpinBox("highHz", kLowestHz, kHighestHz, choices.highHz, QStringLiteral(" Hz"));
    maxBoost_ = AddSpinBox("maxBoost", 0.0, kLargestGainDb, choices.maxBoostDb, QStringLiteral(" dB"));
    maxCut_ = AddSpinBox("maxCut", 0.0, kLargestGainDb, choices.maxCutDb, QStringLiteral(" dB"));
    form->addRow(QStringLiteral("From:"), lowHz_);
    form->addRow(QStringLiteral("To:"), highHz_);
    form->addRow(QStringLiteral("Boost at most:"), maxBoost_);
    form->addRow(QStringLiteral("Cut at most:"), maxCut_);

    target_ = new QLineEdit(choices.targetPath, this);
    target_->setObjectName(QStringLiteral("target"));
    target_->setReadOnly(true);
    target_->setPlaceholderText(QStringLiteral("flat at the measurement's mean level"));
    target_->setMinimumWidth(target_->fontMetrics().horizontalAdvance(target_->placeholderText()) + 16);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    browse->setObjectName(QStringLiteral("browseTarget"));
    connect(browse, &QPushButton::clicked, this, &CDlgFitOptions::ChooseTarget);
    auto* flat = new QPushButton(QStringLiteral("Flat"), this);
    flat->setObjectName(QStringLiteral("flatTarget"));
    connect(flat, &QPushButton::clicked, target_, &QLineEdit::clear);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(target_, 1);
    targetRow->addWidget(browse);
    targetRow->addWidget(flat);
    form->addRow(QStringLiteral("Target:"), targetRow);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons_);
    for (QDoubleSpinBox* end : {lowHz_, highHz_})
        connect(end, &QDoubleSpinBox::valueChanged, this, &CDlgFitOptions::FollowRange);
    FollowRange();
}

QDoubleSpinBox* CDlgFitOptions::AddSpinBox(const char* name, double min, double max, double value,
                                           const QString& suffix)
{
    auto* box = new QDoubleSpinBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setDecimals(1);
    box->setRange(min, max);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

// An empty range fits nothing: OK waits for a range that rises.
void CDlgFitOptions::FollowRange()
{
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(lowHz_->value() < highHz_->value());
}

void CDlgFitOptions::ChooseTarget()
{
    const QString path =
        AskOpenFileName(this, QStringLiteral("Fit target"), QStringLiteral("Target curves (*.txt *.frd *.csv)"));
    if (!path.isEmpty()) target_->setText(QDir::toNativeSeparators(path));
}

FitChoices CDlgFitOptions::Choices() const
{
    return {lowHz_->value(), highHz_->value(), maxBoost_->value(), maxCut_->value(),
            QDir::fromNativeSeparators(target_->text())};
}
