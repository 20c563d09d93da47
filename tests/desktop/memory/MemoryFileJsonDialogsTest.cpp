// Export and import of memory files as JSON from the desktop program: the
// document is the command line's to the byte, it gives the file back, and a
// bad one writes nothing and says where and why.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "memfile/MemoryFile.h"
#include "memory/MemoryFileJsonDialogs.h"
#include "model/MemoryImage.h"
#include "tests/desktop/FileBytes.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

// Memory 2 "Club" with Left&Right at -3.5 dB; the other memories empty.
QByteArray ClubFile()
{
    ParameterModel setting{};
    LoadDefaults(setting);
    setting.gain[kSlotLeftRight] = 121;
    std::array<SlotRecord, kMemorySlots> records{};
    records[1].usedByte = 1;
    std::strcpy(records[1].name, "Club");
    ModelToImage(setting, records[1].imageBlock.data());
    const MemoryFileImage file = BuildMemoryFile(records);
    return QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
}

}  // namespace

// Each case starts from the Club file and the document the desktop
// program exported of it.
class MemoryFileJsonDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        file_ = dir_->filePath(QStringLiteral("show.cmf"));
        json_ = dir_->filePath(QStringLiteral("show.json"));
        QVERIFY(WriteBytes(file_, ClubFile()));
        QVERIFY(ExportMemoryFileJson(file_, json_, nullptr));
    }

    void exportIsTheCommandLinesDocumentAndImportGivesTheFileBack()
    {
        const ModalAnswerer answerer;
        QProcess cli;
        cli.start(QStringLiteral(QUENBAR_CLI_PATH), {QStringLiteral("export"), file_});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(ReadAll(json_), cli.readAllStandardOutput());

        const QString back = dir_->filePath(QStringLiteral("back.cmf"));
        QVERIFY(ImportMemoryFileJson(json_, back, nullptr));
        QCOMPARE(ReadAll(back), ClubFile());
        QVERIFY(answerer.Seen().empty());
    }

    void badDocumentNamesPathAndReasonAndWritesNothing()
    {
        const ModalAnswerer answerer;
        auto document = nlohmann::ordered_json::parse(ReadAll(json_).toStdString());
        document["memories"][1]["lr"]["gainDb"] = -3.3;  // off the half-decibel steps
        QVERIFY(WriteBytes(json_, QByteArray::fromStdString(document.dump())));

        QVERIFY(!ImportMemoryFileJson(json_, file_, nullptr));
        QCOMPARE(answerer.Seen().size(), std::size_t{1});
        const QString text = answerer.Seen().front().text;
        QVERIFY2(text.startsWith(QStringLiteral("show.json: $.memories[1].lr.gainDb: -3.3 dB is not a step")),
                 qPrintable(text));
        QCOMPARE(ReadAll(file_), ClubFile());
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString file_;
    QString json_;
};

QUENBAR_DESKTOP_TEST(MemoryFileJsonDialogsTest)
#include "MemoryFileJsonDialogsTest.moc"
