// Export and import of memory files as JSON from the desktop program: the
// document is the command line's to the byte, it gives the file back, and a
// bad one writes nothing and says where and why.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <nlohmann/json.hpp>

#include "memfile/MemoryFile.h"
#include "memory/MemoryFileJsonDialogs.h"
#include "model/MemoryImage.h"
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

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

class MemoryFileJsonDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void exportIsTheCommandLinesDocumentAndImportGivesTheFileBack()
    {
        const ModalAnswerer answerer;
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("show.cmf"));
        QVERIFY(WriteAll(file, ClubFile()));

        const QString json = dir.filePath(QStringLiteral("show.json"));
        QVERIFY(ExportMemoryFileJson(file, json, nullptr));
        QProcess cli;
        cli.start(QStringLiteral(QUENBAR_CLI_PATH), {QStringLiteral("export"), file});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(ReadAll(json), cli.readAllStandardOutput());

        const QString back = dir.filePath(QStringLiteral("back.cmf"));
        QVERIFY(ImportMemoryFileJson(json, back, nullptr));
        QCOMPARE(ReadAll(back), ClubFile());
        QVERIFY(answerer.Seen().empty());
    }

    void badDocumentNamesPathAndReasonAndWritesNothing()
    {
        const ModalAnswerer answerer;
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("show.cmf"));
        QVERIFY(WriteAll(file, ClubFile()));
        const QString json = dir.filePath(QStringLiteral("bad.json"));
        QVERIFY(ExportMemoryFileJson(file, json, nullptr));
        auto document = nlohmann::ordered_json::parse(ReadAll(json).toStdString());
        document["memories"][1]["lr"]["gainDb"] = -3.3;  // off the half-decibel steps
        QVERIFY(WriteAll(json, QByteArray::fromStdString(document.dump())));

        QVERIFY(!ImportMemoryFileJson(json, file, nullptr));
        QCOMPARE(answerer.Seen().size(), std::size_t{1});
        const QString text = answerer.Seen().front().text;
        QVERIFY2(text.startsWith(QStringLiteral("bad.json: $.memories[1].lr.gainDb: -3.3 dB is not a step")),
                 qPrintable(text));
        QCOMPARE(ReadAll(file), ClubFile());
    }
};

QUENBAR_DESKTOP_TEST(MemoryFileJsonDialogsTest)
#include "MemoryFileJsonDialogsTest.moc"
