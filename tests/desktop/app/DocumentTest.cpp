// The program's document: a memory file edited without the unit through the
// File menu, the pages and the memory dialog, and moved to and from an
// emulated unit. The expected file bytes are laid out here by hand.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <functional>

#include "app/MainFrame.h"
#include "app/QuenbarDoc.h"
#include "app/QuenbarView.h"
#include "app/UnitLink.h"
#include "dialogs/DlgOutput.h"
#include "dialogs/DlgSetting.h"
#include "memory/DlgMemory.h"
#include "memory/DlgStore.h"
#include "model/MemoryImage.h"
#include "tests/desktop/FileBytes.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/ModalAnswerer.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/desktop/dialogs/FormControls.h"

namespace {

constexpr int kLeftRightGainBlock = 1000;

// Record `slot` of a memory file at its offsets: the used byte, the name
// field (the name, then zeros) and the 62 image bytes.
void PutRecord(QByteArray& file, int slot, char used, const char* name, const Image& image)
{
    const int at = 16 + 112 * (slot - 1);
    file[at + 1] = used;
    file.replace(at + 16, 16, QByteArray(16, '\0'));
    file.replace(at + 16, int(std::strlen(name)), name);
    file.replace(at + 32, 62, reinterpret_cast<const char*>(image.data()), 62);
}

// Header, six records with their numbers and tags, all else zero, trailer.
QByteArray BlankFile()
{
    const QByteArray marker("VNB1.00M        ");
    QByteArray file = marker;
    for (int slot = 1; slot <= 6; ++slot) {
        QByteArray record(112, '\0');
        record[0] = char(slot);
        record.replace(2, 3, "MEM");
        file += record;
    }
    return file + marker;
}

// A file as a read of the unit writes it: memories 1 ("Kick") and 4
// ("Snare") used, the others holding the current setting DistinctImage(9);
// with a byte after memory 6's image that no save of the program writes.
QByteArray SourceFile()
{
    QByteArray file = BlankFile();
    for (const int unused : {2, 3, 5, 6}) PutRecord(file, unused, 0, "Free", DistinctImage(9));
    PutRecord(file, 1, 1, "Kick", DistinctImage(1));
    PutRecord(file, 4, 1, "Snare", DistinctImage(4));
    file[16 + 112 * 5 + 100] = char(0xA5);
    return file;
}

QByteArray DocumentBytes(CMainFrame& frame)
{
    const MemoryFileImage& bytes = frame.Document()->Document().Bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

Image ModelImage()
{
    Image image{};
    ModelToImage(model, image.data());
    return image;
}

// Runs the frame's Memory command; `act` works in the dialog while it is open.
void InMemoryDialog(CMainFrame& frame, const std::function<void(CDlgMemory&)>& act)
{
    QTimer::singleShot(0, [&act] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CDlgMemory*>(window); dialog && dialog->isVisible()) {
                act(*dialog);
                if (dialog->isVisible()) dialog->accept();
            }
    });
    frame.Command(kIdMemory)->trigger();
}

void Press(CDlgMemory& dialog, const char* button, int row)
{
    dialog.findChild<QTableWidget*>(QStringLiteral("memoryList"))->selectRow(row);
    dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<UnitOnLine> line_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString source_;

private slots:
    void init()
    {
        // A unit on the line, not connected: nothing edited offline may reach it.
        line_ = std::make_unique<UnitOnLine>();
        QVERIFY(line_->Open());
        dir_ = std::make_unique<QTemporaryDir>();
        source_ = dir_->filePath(QStringLiteral("show.cmf"));
        QVERIFY(WriteBytes(source_, SourceFile()));
    }

    void cleanup()
    {
        line_.reset();
        dir_.reset();
    }

    void offlineEditingOpensEditsThroughThePagesAndTheMemoryDialogAndSaves()
    {
        ModalAnswerer answerer;
        CMainFrame frame;
        frame.show();
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));

        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, source_); };
        frame.Command(kIdFileOpen)->trigger();
        QCOMPARE(frame.windowTitle(), QStringLiteral("show.cmf - Quenbar"));
        QVERIFY(ModelImage() == DistinctImage(9));  // the current setting the file holds
        // Saved unchanged under another name: the same bytes.
        const QString copy = dir_->filePath(QStringLiteral("copy.cmf"));
        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, copy); };
        frame.Command(kIdFileSaveAs)->trigger();
        QCOMPARE(ReadAll(copy), SourceFile());
        QCOMPARE(frame.windowTitle(), QStringLiteral("copy.cmf - Quenbar"));

        // The level typed into the Left&Right page.
        QTimer::singleShot(0, [] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* sheet = qobject_cast<CDlgSetting*>(window); sheet && sheet->isVisible()) {
                    TypeAndEnter(sheet->page(0), "levelEdit", QStringLiteral("-3"));
                    sheet->accept();
                }
        });
        QTest::mouseClick(frame.View()->Control(kLeftRightGainBlock), Qt::LeftButton);
        QCOMPARE(model.gain[kSlotLeftRight], 122);
        QCOMPARE(frame.windowTitle(), QStringLiteral("copy.cmf* - Quenbar"));
        const Image edited = ModelImage();

        // Stored into memory 3, memory 1 renamed, memory 4 deleted, memory 1 recalled.
        answerer.onStore = [](CDlgStore& store) {
            store.SetName(QStringLiteral("Live"));
            store.accept();
        };
        InMemoryDialog(frame, [](CDlgMemory& dialog) {
            QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("openFile"))->isVisible());
            Press(dialog, "store", 2);
        });
        answerer.onStore = [](CDlgStore& store) {
            store.SetName(QStringLiteral("Bass"));
            store.accept();
        };
        answerer.boxAnswer = QMessageBox::Yes;  // the delete and the recall ask first
        InMemoryDialog(frame, [](CDlgMemory& dialog) {
            Press(dialog, "rename", 0);
            Press(dialog, "delete", 3);
            auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("memoryList"));
            QCOMPARE(list->item(0, 1)->text(), QStringLiteral("Bass"));
            QCOMPARE(list->item(2, 1)->text(), QStringLiteral("Live"));
            QCOMPARE(list->item(3, 1)->text(), QString());
            Press(dialog, "recall", 0);
        });
        QVERIFY(ModelImage() == DistinctImage(1));
        QCOMPARE(answerer.storeDialogs, 2);
        QCOMPARE(answerer.BoxTexts().size(), 2);
        QVERIFY(answerer.BoxTexts().front().startsWith(QStringLiteral("Delete memory 4 (")));
        QCOMPARE(answerer.BoxTexts().back(),
                 QStringLiteral("Recall memory 1 (Bass)?\nThe current setting will be replaced."));

        frame.Command(kIdFileSave)->trigger();
        QByteArray expected = SourceFile();
        PutRecord(expected, 1, 1, "Bass", DistinctImage(1));
        PutRecord(expected, 3, 1, "Live", edited);
        PutRecord(expected, 4, 0, "", DistinctImage(1));
        for (const int unused : {2, 5, 6}) PutRecord(expected, unused, 0, "Free", DistinctImage(1));
        QCOMPARE(ReadAll(copy), expected);
        QCOMPARE(ReadAll(source_), SourceFile());
        QCOMPARE(frame.windowTitle(), QStringLiteral("copy.cmf - Quenbar"));
        QVERIFY(line_->Unit().ReceivedBytes().empty());
    }

    void unsavedChangesAnsweredCancelKeepTheDocumentAndDiscardLetsNewGoOn()
    {
        ModalAnswerer answerer;
        CMainFrame frame;
        frame.show();
        QVERIFY(frame.Document()->OpenFile(source_));
        frame.Document()->Edit([](MemoryDocument& memories) { memories.Rename(1, "Changed"); });
        QCOMPARE(frame.windowTitle(), QStringLiteral("show.cmf* - Quenbar"));

        answerer.boxAnswer = QMessageBox::Cancel;
        frame.Command(kIdFileNew)->trigger();
        QVERIFY(!frame.close());
        QVERIFY(frame.isVisible());
        QCOMPARE(answerer.BoxTexts(), (QStringList{"Save changes to show.cmf?", "Save changes to show.cmf?"}));
        QCOMPARE(answerer.Seen().front().buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        QCOMPARE(QString::fromStdString(frame.Document()->Document().Name(1)), QStringLiteral("Changed"));
        QCOMPARE(frame.windowTitle(), QStringLiteral("show.cmf* - Quenbar"));

        answerer.boxAnswer = QMessageBox::Discard;
        frame.Command(kIdFileNew)->trigger();
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));
        QVERIFY(frame.Document()->Document().Name(1).empty());
        QCOMPARE(ReadAll(source_), SourceFile());
    }

    void sendDocumentToUnitAsksNamingWhatItReplacesThenStoresItsUsedMemories()
    {
        line_->SetMemory(1, true, "Unit one", DistinctImage(2));
        line_->SetMemory(4, false, "", DistinctImage(3));
        ModalAnswerer answerer;
        CMainFrame frame;
        QVERIFY(frame.Document()->OpenFile(source_));
        QVERIFY(!frame.Command(kIdSendToUnit)->isEnabled());
        frame.Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(frame.Command(kIdSendToUnit)->isEnabled());
        line_->Unit().ClearReceived();

        const QString question = QStringLiteral(
            "Store the document's memories 1, 4 into the unit?\nThey replace the unit's memories 1 (Unit one).");
        answerer.boxAnswer = QMessageBox::No;
        frame.Command(kIdSendToUnit)->trigger();
        WaitForUnit();
        QCOMPARE(answerer.BoxTexts(), QStringList{question});
        QCOMPARE(answerer.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(line_->Unit().ReceivedBytes().empty());
        QVERIFY(line_->Unit().Memory(1).image == DistinctImage(2));

        answerer.boxAnswer = QMessageBox::Yes;
        frame.Command(kIdSendToUnit)->trigger();
        WaitForUnit();
        QCOMPARE(answerer.BoxTexts(),
                 (QStringList{question, question,
                              "Load from file ok!\n2 memories stored: 1, 4.\nSkipped: memory 2 (marked empty in the "
                              "file), memory 3 (marked empty in the file), memory 5 (marked empty in the file), "
                              "memory 6 (marked empty in the file)."}));
        const struct {
            int slot;
            const char* name;
            int seed;
        } stored[] = {{1, "Kick            ", 1}, {4, "Snare           ", 4}};
        for (const auto& memory : stored) {
            QVERIFY(line_->Unit().Memory(memory.slot).used);
            QCOMPARE(QString::fromStdString(line_->Unit().Memory(memory.slot).name), QString::fromLatin1(memory.name));
            QVERIFY(line_->Unit().Memory(memory.slot).image == DistinctImage(memory.seed));
        }
        QVERIFY(!frame.Document()->Document().Modified());

        // A document with no memory in use sends nothing, and says so.
        QVERIFY(frame.Document()->OnFileNew());
        line_->Unit().ClearReceived();
        frame.Command(kIdSendToUnit)->trigger();
        WaitForUnit();
        QCOMPARE(answerer.BoxTexts().back(),
                 QStringLiteral("The document holds no memory in use: nothing was sent to the unit."));
        QVERIFY(line_->Unit().ReceivedBytes().empty());
    }

    void openNamesTheFormatProblemAndWarnsOfValuesBeyondTheirRangesChangingNothing()
    {
        ModalAnswerer answerer;
        CMainFrame frame;
        const QString shortFile = dir_->filePath(QStringLiteral("short.cmf"));
        QVERIFY(WriteBytes(shortFile, SourceFile().left(500)));
        QByteArray noise = SourceFile();
        noise[0] = 'X';
        const QString noHeader = dir_->filePath(QStringLiteral("noise.cmf"));
        QVERIFY(WriteBytes(noHeader, noise));
        QVERIFY(!frame.Document()->OpenFile(shortFile));
        QVERIFY(!frame.Document()->OpenFile(noHeader));
        QCOMPARE(answerer.BoxTexts(),
                 (QStringList{"File format error!\n" + QDir::toNativeSeparators(shortFile) + ": 500 of 704 bytes.",
                              "File format error!\n" + QDir::toNativeSeparators(noHeader) + ": no header."}));

        // A valid header and trailer around a damaged body: a delay of seconds in memory 4.
        QByteArray damaged = SourceFile();
        Image image = DistinctImage(4);
        image[2] = 0x40;  // the delay's high byte
        PutRecord(damaged, 4, 1, "Snare", image);
        const QString damagedFile = dir_->filePath(QStringLiteral("damaged.cmf"));
        QVERIFY(WriteBytes(damagedFile, damaged));
        QVERIFY(frame.Document()->OpenFile(damagedFile));
        QCOMPARE(answerer.Seen().size(), std::size_t{3});
        QCOMPARE(answerer.Seen()[2].icon, QMessageBox::Warning);
        QVERIFY2(answerer.Seen()[2].text.contains(QStringLiteral("damaged.cmf")) &&
                     answerer.Seen()[2].text.contains(QStringLiteral("\nmemory 4: Left&Right delay\n")),
                 qPrintable(answerer.Seen()[2].text));
        const QString copy = dir_->filePath(QStringLiteral("copy.cmf"));
        QVERIFY(frame.Document()->SaveFile(copy));
        QCOMPARE(ReadAll(copy), damaged);
    }

    void readUnitIntoDocumentTakesItsMemoriesAndCurrentSetting()
    {
        const char* names[] = {"Spare", "Unit two", "Spare", "Spare", "Unit five", "Spare"};
        for (int slot = 1; slot <= 6; ++slot)
            line_->SetMemory(slot, slot == 2 || slot == 5, names[slot - 1], DistinctImage(slot));
        line_->Unit().SetCurrentImage(DistinctImage(7));
        ModalAnswerer answerer;
        CMainFrame frame;
        QVERIFY(!frame.Command(kIdReadFromUnit)->isEnabled());
        frame.Command(kIdConnect)->trigger();
        WaitForUnit();

        frame.Command(kIdReadFromUnit)->trigger();
        WaitForUnit();
        QVERIFY(answerer.Seen().empty());
        QByteArray expected = BlankFile();
        for (int slot = 1; slot <= 6; ++slot) {
            const bool used = slot == 2 || slot == 5;
            PutRecord(expected, slot, used ? 1 : 0, names[slot - 1], used ? DistinctImage(slot) : DistinctImage(7));
        }
        QCOMPARE(DocumentBytes(frame), expected);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled* - Quenbar"));

        // Disconnected, the pages show the document's current setting: the unit's.
        model.gain[kSlotLeftRight] = 30;
        frame.Command(kIdDisconnect)->trigger();
        WaitForUnit();
        QVERIFY(ModelImage() == DistinctImage(7));
    }
};

QUENBAR_DESKTOP_TEST(DocumentTest)
#include "DocumentTest.moc"
