#include "graph/TuningFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>

#include "app/ErrorBox.h"

QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& filter)
{
    QFileDialog dialog(owner, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({filter, QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

std::optional<std::string> ReadTextFile(QWidget* owner, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowErrorBox(owner, QStringLiteral("Cannot read the file %1.").arg(QDir::toNativeSeparators(path)));
        return std::nullopt;
    }
    return file.readAll().toStdString();
}
