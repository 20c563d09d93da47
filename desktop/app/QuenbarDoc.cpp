#include "app/QuenbarDoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

#include "app/Identity.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "memfile/MemoryFileRanges.h"
#include "memory/MemoryFileDialogs.h"
#include "memory/MemoryTexts.h"

namespace {

void ShowError(QWidget* owner, const char* text)
{
    QMessageBox::critical(owner, QString::fromLatin1(memory_text::kErrorCaption), QString::fromLatin1(text));
}

MemoryDocument::Image ModelImage()
{
    MemoryDocument::Image image{};
    ModelToImage(model, image.data());
    return image;
}

}  // namespace

CQuenbarDoc::CQuenbarDoc(QWidget* window) : QObject(window), window_(window), wasConnected_(model.connected != 0)
{
    shown_ = ModelImage();
    SetOfflineEditHandler([this] { TakeCurrentFromModel(); });
}

CQuenbarDoc::~CQuenbarDoc() { SetOfflineEditHandler({}); }

QString CQuenbarDoc::DisplayName() const
{
    return path_.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path_).fileName();
}

QString CQuenbarDoc::Title() const
{
    return DisplayName() + (document_.Modified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
           QString::fromLatin1(kApplicationName);
}

bool CQuenbarDoc::OnFileNew()
{
    if (!SaveModified()) return false;
    document_ = MemoryDocument();
    path_.clear();
    ShowCurrentInModel({HistoryEntry::NewHistory});
    emit changed();
    return true;
}

bool CQuenbarDoc::OnFileOpen()
{
    if (!SaveModified()) return false;
    const QString path = AskFileName(window_, QFileDialog::AcceptOpen);
    return !path.isEmpty() && OpenFile(path);
}

bool CQuenbarDoc::OnFileSave() { return path_.isEmpty() ? OnFileSaveAs() : SaveFile(path_); }

bool CQuenbarDoc::OnFileSaveAs()
{
    const QString path = AskFileName(window_, QFileDialog::AcceptSave);
    return !path.isEmpty() && SaveFile(path);
}

bool CQuenbarDoc::OpenFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(window_, memory_text::kOpenFailed);
        return false;
    }
    // One byte more than a memory file holds tells a longer file apart.
    const QByteArray bytes = file.read(static_cast<qint64>(kMemoryFileSize) + 1);
    const std::span<const std::uint8_t> read(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (!document_.Open(read)) {
        ShowFormatError(window_, path, bytes);
        return false;
    }
    path_ = path;
    ShowCurrentInModel({HistoryEntry::NewHistory});
    emit changed();
    WarnOfOutOfRangeValues();
    return true;
}

// The values stay as the file holds them: the pages show them and a save
// writes them back unchanged unless the user edits them.
void CQuenbarDoc::WarnOfOutOfRangeValues() const
{
    const std::vector<OutOfRangeValue> outOfRange = FindOutOfRangeValues(document_.Bytes());
    if (outOfRange.empty()) return;
    QMessageBox::warning(window_, QString::fromLatin1(kApplicationName),
                         QStringLiteral("%1 holds values outside their fields' ranges, which the unit never holds:\n"
                                        "%2\nThe file is not changed unless you edit and save it.")
                             .arg(DisplayName(), QString::fromStdString(DescribeOutOfRangeValues(outOfRange))));
}

bool CQuenbarDoc::SaveFile(const QString& path)
{
    TakeCurrentFromModel();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowError(window_, memory_text::kOpenFailed);
        return false;
    }
    if (!WriteAndCommit(file, document_.Bytes())) {
        ShowError(window_, memory_text::kWriteFailed);
        return false;
    }
    document_.MarkSaved();
    path_ = path;
    emit changed();
    return true;
}

bool CQuenbarDoc::SaveModified()
{
    TakeCurrentFromModel();
    if (!document_.Modified()) return true;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationName),
                    QStringLiteral("Save changes to %1?").arg(DisplayName()),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window_);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Save:
            return OnFileSave();
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

// The unit's memories in use that a send replaces, by number and name:
// "1 (Kick), 4 (Snare)"; empty when it replaces none.
void CQuenbarDoc::OnSendToUnit()
{
    const MemoryFileImage& image = document_.Bytes();
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
    if (ConfirmStoringMemories(window_, bytes, QStringLiteral("document"))) StoreMemoriesFrom(bytes, window_);
}

void CQuenbarDoc::OnReadFromUnit()
{
    if (!SaveModified()) return;
    ReadMemoriesInto(window_, [this](const MemoryFileImage& bytes) {
        document_.Replace(bytes);
        document_.SetCurrent(ModelImage());
        emit changed();
    });
}

void CQuenbarDoc::Edit(const std::function<void(MemoryDocument&)>& change)
{
    change(document_);
    emit changed();
}

void CQuenbarDoc::TakeCurrentFromModel()
{
    if (model.connected) return;
    const MemoryDocument::Image image = ModelImage();
    if (image == shown_) return;
    shown_ = image;
    document_.SetCurrent(image);
    emit changed();
}

void CQuenbarDoc::ShowCurrentInModel(const HistoryEntry& entry)
{
    if (model.connected) return;
    ImageToModel(model, document_.Current().data());
    shown_ = ModelImage();
    TheEditHistory().Enter(entry);
    NotifyModelChanged();
}

void CQuenbarDoc::FollowConnection()
{
    // The history of the unit's setting stays: a reconnect to a unit that
    // still holds the setting left goes on with it.
    if (wasConnected_ && !model.connected) ShowCurrentInModel({HistoryEntry::Follow});
    wasConnected_ = model.connected != 0;
}
