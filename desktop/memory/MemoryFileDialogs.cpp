#include "memory/MemoryFileDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>
#include <memory>

#include "WholeFile.h"
#include "app/Identity.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "memfile/MemoryDocument.h"
#include "memfile/MemoryFile.h"
#include "memory/MemoryTexts.h"

namespace {

void ShowError(QWidget* owner, const char* text)
{
    QMessageBox::critical(owner, QString::fromLatin1(memory_text::kErrorCaption), QString::fromLatin1(text));
}

void ShowInformation(QWidget* owner, const char* caption, const char* text)
{
    QMessageBox::information(owner, QString::fromLatin1(caption), QString::fromLatin1(text));
}

// The outcome of a read of all memories, for the file already open: written
// and committed when complete, else left as it was. True when saved.
bool WriteReadMemories(QSaveFile& file, const UnitMemoryFile& read, QWidget* owner)
{
    // A cancelled save writes nothing and needs no box: the person stopped it.
    if (read.cancelled) {
        file.cancelWriting();
        return false;
    }
    // A file that would claim memories it does not hold is never written.
    if (!read.Complete()) {
        file.cancelWriting();
        QMessageBox::critical(owner, QString::fromLatin1(memory_text::kErrorCaption),
                              QString::fromStdString(DescribeUnreadSlots(read.unreadSlots)));
        return false;
    }
    if (!WriteAndCommit(file, read.bytes)) {
        ShowError(owner, memory_text::kWriteFailed);
        return false;
    }
    ShowInformation(owner, memory_text::kSaveCaption, memory_text::kSaved);
    return true;
}

std::span<const std::uint8_t> AsBytes(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

void ShowLoadOutcome(QWidget* owner, const LoadFileReport& report)
{
    const QString details = QString::fromStdString(DescribeLoad(report));
    switch (report.result) {
        case LoadFileResult::FormatError:  // bytes that came from no file (a file's are checked first)
            ShowError(owner, memory_text::kFormatError);
            break;
        case LoadFileResult::DownloadFailed:
        case LoadFileResult::Cancelled:
            QMessageBox::critical(owner, QString::fromLatin1(memory_text::kErrorCaption),
                                  QString::fromLatin1(memory_text::kDownloadFailed) + QLatin1Char('\n') + details);
            break;
        case LoadFileResult::Loaded:
            QMessageBox::information(owner, QString::fromLatin1(memory_text::kLoadCaption),
                                     QString::fromLatin1(memory_text::kLoaded) + QLatin1Char('\n') + details);
            break;
    }
}

// Reads all memories from the unit, with the progress by slot and Cancel.
void ReadAllMemories(QWidget* owner, const std::function<void(const UnitMemoryFile&)>& done)
{
    UnitTasks().Start<UnitMemoryFile>(
        owner, {QStringLiteral("Reading the memories from the unit..."), true},
        [](Link& link, const SlotProgress& progress) { return ReadMemoryFileFromUnit(link, progress); }, done);
}

}  // namespace

// The Qt file dialog itself, not a platform one: it adds the default suffix
// before it asks whether to replace an existing file, so the question is
// about the file that is really written.
QString AskFileName(QWidget* owner, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setNameFilter(QString::fromLatin1(memory_text::kFileFilter));
    if (mode == QFileDialog::AcceptSave) {
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QString::fromLatin1(memory_text::kFileSuffix));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

bool WriteAndCommit(QSaveFile& file, const MemoryFileImage& bytes)
{
    return CommitWholeFile(
        file, QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

void SaveMemoryFileTo(const QString& path, QWidget* owner, const std::function<void(bool saved)>& finished)
{
    auto file = std::make_shared<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        ShowError(owner, memory_text::kOpenFailed);
        if (finished) finished(false);
        return;
    }
    ReadAllMemories(owner, [file, owner, finished](const UnitMemoryFile& read) {
        const bool saved = WriteReadMemories(*file, read, owner);
        if (finished) finished(saved);
    });
}

void ReadMemoriesInto(QWidget* owner, const std::function<void(const MemoryFileImage&)>& take)
{
    ReadAllMemories(owner, [owner, take](const UnitMemoryFile& read) {
        if (read.cancelled) return;
        if (!read.Complete()) {
            QMessageBox::critical(
                owner, QString::fromLatin1(memory_text::kErrorCaption),
                QString::fromStdString(DescribeUnreadSlots(read.unreadSlots, "the document was not changed")));
            return;
        }
        take(read.bytes);
    });
}

void LoadMemoryFileFrom(const QString& path, QWidget* owner, const std::function<void()>& afterStores,
                        const std::function<void(LoadFileResult)>& finished)
{
    QByteArray bytes;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.read(static_cast<qint64>(kMemoryFileSize));
    }
    if (!MemoryFileFormatProblem(AsBytes(bytes)).empty()) {
        ShowFormatError(owner, path, bytes);
        if (finished) finished(LoadFileResult::FormatError);
        return;
    }
    if (!ConfirmStoringMemories(owner, bytes, QStringLiteral("file"))) {
        if (finished) finished(LoadFileResult::Cancelled);
        return;
    }
    StoreMemoriesFrom(bytes, owner, afterStores, finished);
}

bool ConfirmStoringMemories(QWidget* owner, const QByteArray& bytes, const QString& source)
{
    MemoryDocument memories;
    memories.Open(AsBytes(bytes));
    QStringList stored, replaced;
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        if (!memories.Used(slot)) continue;
        stored << QString::number(slot);
        if (model.memUsed[slot - 1])
            replaced << QStringLiteral("%1 (%2)").arg(slot).arg(QString::fromLatin1(model.memName[slot - 1]).trimmed());
    }
    if (stored.isEmpty()) {
        QMessageBox::information(
            owner, QString::fromLatin1(kApplicationName),
            QStringLiteral("The %1 holds no memory in use: nothing was sent to the unit.").arg(source));
        return false;
    }
    const QString question =
        QStringLiteral("Store the %1's memories %2 into the unit?\n").arg(source, stored.join(QStringLiteral(", "))) +
        (replaced.isEmpty()
             ? QStringLiteral("No memory in use on the unit is replaced.")
             : QStringLiteral("They replace the unit's memories %1.").arg(replaced.join(QStringLiteral(", "))));
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationName), question,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void ShowFormatError(QWidget* owner, const QString& path, const QByteArray& bytes)
{
    QMessageBox::critical(owner, QString::fromLatin1(memory_text::kErrorCaption),
                          QString::fromLatin1(memory_text::kFormatError) + QLatin1Char('\n') +
                              QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                              QString::fromStdString(MemoryFileFormatProblem(AsBytes(bytes))) + QLatin1Char('.'));
}

void StoreMemoriesFrom(const QByteArray& bytes, QWidget* owner, const std::function<void()>& afterStores,
                       const std::function<void(LoadFileResult)>& finished)
{
    UnitTasks().Start<LoadFileReport>(
        owner, {QStringLiteral("Storing the file's memories into the unit..."), true},
        [bytes](Link& link, const SlotProgress& progress) {
            return LoadMemoryFileIntoUnit(link,
                                          std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                    static_cast<std::size_t>(bytes.size())),
                                          progress);
        },
        [owner, afterStores, finished](const LoadFileReport& report) {
            if (afterStores) {
                afterStores();
            }
            ShowLoadOutcome(owner, report);
            if (finished) finished(report.result);
        });
}

void SaveMemoryFile(QWidget* owner)
{
    const QString path = AskFileName(owner, QFileDialog::AcceptSave);
    if (!path.isEmpty()) {
        SaveMemoryFileTo(path, owner);
    }
}

void LoadMemoryFile(QWidget* owner, const std::function<void()>& afterStores)
{
    const QString path = AskFileName(owner, QFileDialog::AcceptOpen);
    if (!path.isEmpty()) {
        LoadMemoryFileFrom(path, owner, afterStores);
    }
}
