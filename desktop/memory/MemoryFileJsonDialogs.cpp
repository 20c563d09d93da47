#include "memory/MemoryFileJsonDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <optional>
#include <stdexcept>

#include "WholeFile.h"
#include "app/ErrorBox.h"
#include "graph/ExportFiles.h"
#include "memfile/MemoryFileJson.h"
#include "memory/MemoryTexts.h"

namespace {

const QString kJsonFilter = QStringLiteral("JSON document (*.json)");
const QString kJsonSuffix = QStringLiteral("json");

// The whole file; nothing when it cannot be read.
std::optional<QByteArray> ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

// The document of a file's bytes; nothing for bytes that are no memory file.
std::optional<std::string> DocumentText(const QByteArray& file)
{
    if (file.size() > qint64{kMemoryFileJsonLargestFile}) return std::nullopt;
    try {
        return MemoryFileJsonText(
            std::span(reinterpret_cast<const std::uint8_t*>(file.constData()), static_cast<std::size_t>(file.size())));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

QString AskFileToRead(QWidget* owner, const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, caption, {}, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

void ShowOpenFailed(QWidget* owner) { ShowErrorBox(owner, QString::fromLatin1(memory_text::kOpenFailed)); }

}  // namespace

void ExportMemoryFileAsJson(QWidget* owner)
{
    const QString caption = QStringLiteral("Export Memory File as JSON");
    const QString filePath = AskFileToRead(owner, caption, QString::fromLatin1(memory_text::kFileFilter));
    if (filePath.isEmpty()) return;
    const QString jsonPath = AskExportFileName(owner, caption, kJsonFilter, kJsonSuffix);
    if (!jsonPath.isEmpty()) ExportMemoryFileJson(filePath, jsonPath, owner);
}

void ImportMemoryFileFromJson(QWidget* owner)
{
    const QString caption = QStringLiteral("Import Memory File from JSON");
    const QString jsonPath = AskFileToRead(owner, caption, kJsonFilter);
    if (jsonPath.isEmpty()) return;
    const QString filePath = AskExportFileName(owner, caption, QString::fromLatin1(memory_text::kFileFilter),
                                               QString::fromLatin1(memory_text::kFileSuffix));
    if (!filePath.isEmpty()) ImportMemoryFileJson(jsonPath, filePath, owner);
}

bool ExportMemoryFileJson(const QString& filePath, const QString& jsonPath, QWidget* owner)
{
    const std::optional<QByteArray> file = ReadFile(filePath);
    if (!file) {
        ShowOpenFailed(owner);
        return false;
    }
    const std::optional<std::string> text = DocumentText(*file);
    if (!text) {
        ShowErrorBox(owner, QString::fromLatin1(memory_text::kFormatError));
        return false;
    }
    if (!WriteWholeFile(jsonPath, QByteArray::fromStdString(*text))) {
        ShowExportFailed(owner, jsonPath);
        return false;
    }
    return true;
}

bool ImportMemoryFileJson(const QString& jsonPath, const QString& filePath, QWidget* owner)
{
    const std::optional<QByteArray> text = ReadFile(jsonPath);
    if (!text) {
        ShowOpenFailed(owner);
        return false;
    }
    const QString name = QFileInfo(jsonPath).fileName();
    std::vector<std::uint8_t> bytes;
    try {
        bytes = MemoryFileFromJson(nlohmann::ordered_json::parse(text->cbegin(), text->cend()));
    } catch (const nlohmann::ordered_json::parse_error& e) {
        ShowErrorBox(owner, QStringLiteral("%1 is not JSON: %2").arg(name, QString::fromUtf8(e.what())));
        return false;
    } catch (const JsonDocumentError& e) {
        ShowErrorBox(owner, QStringLiteral("%1: %2").arg(name, QString::fromUtf8(e.what())));
        return false;
    }
    const QByteArray file(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    if (!WriteWholeFile(filePath, file)) {
        ShowExportFailed(owner, filePath);
        return false;
    }
    return true;
}
