#include "graph/ExportFiles.h"

#include <QDir>
#include <QFileDialog>

#include "SettingsReport.h"
#include "app/ErrorBox.h"
#include "app/UnitLink.h"

QString AskExportFileName(QWidget* owner, const QString& caption, const QString& filter, const QString& suffix)
{
    // Qt's own dialog adds the suffix before it asks about replacing a file.
    QFileDialog dialog(owner, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

void ShowExportFailed(QWidget* owner, const QString& path)
{
    ShowErrorBox(owner, QStringLiteral("Cannot write the file %1.").arg(QDir::toNativeSeparators(path)));
}

bool SaveSettingsReportTo(const QString& path)
{
    const ReportHeading heading{QStringLiteral("Current setting"),
                                model.connected ? QStringLiteral("The unit's current setting")
                                                : QStringLiteral("The program's current setting (not connected)")};
    return WriteSettingsReport(path, model, heading);
}

void SaveSettingsReport(QWidget* owner)
{
    const QString path = AskExportFileName(owner, QStringLiteral("Settings Report"), QStringLiteral("PDF (*.pdf)"),
                                           QStringLiteral("pdf"));
    if (!path.isEmpty() && !SaveSettingsReportTo(path)) ShowExportFailed(owner, path);
}
