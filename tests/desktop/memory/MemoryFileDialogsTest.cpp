// Save File and Open File against the emulated unit. The expected file
// bytes are laid out here by hand, apart from the program's own code.
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fcntl.h>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "app/UnitLink.h"
#include "memory/DlgMemory.h"
#include "memory/MemoryFileDialogs.h"
#include "model/MemoryImage.h"
#include "tests/desktop/FileBytes.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/ModalAnswerer.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "unit/UnitOperations.h"

namespace {

struct Record {
    std::uint8_t slotByte;
    std::uint8_t used;
    std::string name;
    Image image;
};

QByteArray ExpectedFile(const std::array<Record, 6>& records)
{
    const QByteArray marker("VNB1.00M        ");
    QByteArray file = marker;
    for (const Record& r : records) {
        QByteArray record(112, '\0');
        record[0] = char(r.slotByte);
        record[1] = char(r.used);
        record.replace(2, 3, "MEM");
        record.replace(16, int(r.name.size()), r.name.data(), int(r.name.size()));
        record.replace(32, 62, reinterpret_cast<const char*>(r.image.data()), 62);
        file += record;
    }
    return file + marker;
}

std::vector<std::vector<std::uint8_t>> CommandsWithCode(const rx74emu::EmulatedUnit& unit, std::uint8_t code)
{
    std::vector<std::vector<std::uint8_t>> commands;
    for (const auto& payload : unit.ReceivedPayloads()) {
        if (!payload.empty() && payload.front() == code) {
            commands.push_back(payload);
        }
    }
    return commands;
}

// Takes from this thread the power of root to ignore file permissions, so a
// read-only folder is read-only here too.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverride()
    {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

// Lets this process write no file beyond the given size, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

// Save File and Open File run to their end, boxes answered; their outcome.
bool SaveAndWait(const QString& path)
{
    bool saved = false;
    SaveMemoryFileTo(path, nullptr, [&saved](bool ended) { saved = ended; });
    WaitForUnit();
    return saved;
}

LoadFileResult LoadAndWait(const QString& path, const std::function<void()>& afterStores = {})
{
    LoadFileResult result = LoadFileResult::Cancelled;
    LoadMemoryFileFrom(path, nullptr, afterStores, [&result](LoadFileResult ended) { result = ended; });
    WaitForUnit();
    return result;
}

}  // namespace

class MemoryFileDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aSaveWhileDisconnectedWritesNothingAndNamesTheMemoriesItCouldNotRead();
    void saveAndLoadRoundTripThroughTheUnitInSlotOrder();
    void loadSkipsRecordsNotMarkedUsedAndRejectsAFileWithoutTrailer();
    void theSaveDialogAddsCmfOnlyWithoutAnExtensionAndAsksBeforeReplacing();
    void aSaveThatCannotBeCompletedLeavesThePreviousFileByteForByte();
    void aSaveWithAUnitSilentFromMemory3NeverHoldsTheWindowAndCancelLeavesTheFile();
    void aCancelledLoadNamesTheMemoriesAlreadyStored();

private:
    std::unique_ptr<UnitOnLine> line_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void MemoryFileDialogsTest::init()
{
    line_ = std::make_unique<UnitOnLine>();
    QVERIFY(line_->Open());
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void MemoryFileDialogsTest::cleanup()
{
    line_.reset();
    dir_.reset();
}

void MemoryFileDialogsTest::aSaveWhileDisconnectedWritesNothingAndNamesTheMemoriesItCouldNotRead()
{
    ImageToModel(model, DistinctImage(5).data());
    model.memUsed[3] = 0;
    const QString path = dir_->filePath(QStringLiteral("offline.cmf"));
    ModalAnswerer answerer;

    QVERIFY(!SaveAndWait(path));

    QVERIFY(!QFile::exists(path));
    QCOMPARE(answerer.BoxTexts(),
             QStringList{"Memory 1, 2, 3, 5, 6 could not be read from the unit; the file was not written."});
    QCOMPARE(answerer.Seen().front().icon, QMessageBox::Critical);
    QVERIFY(line_->Unit().ReceivedBytes().empty());
}

void MemoryFileDialogsTest::saveAndLoadRoundTripThroughTheUnitInSlotOrder()
{
    const char* names[6] = {"Kick", "Snare", "Free3", "HiHat", "Free5", "Bass"};
    const bool used[6] = {true, true, false, true, false, true};
    for (int slot = 1; slot <= 6; ++slot) {
        line_->SetMemory(slot, used[slot - 1], names[slot - 1], DistinctImage(slot));
    }
    line_->Unit().SetCurrentImage(DistinctImage(9));
    QVERIFY(line_->Connect());
    line_->Unit().ClearReceived();
    const QString path = dir_->filePath(QStringLiteral("show.cmf"));
    ModalAnswerer answerer;

    QVERIFY(SaveAndWait(path));

    std::array<Record, 6> expected;
    for (int i = 0; i < 6; ++i) {
        expected[i] = {std::uint8_t(i + 1), std::uint8_t(used[i]), names[i],
                       used[i] ? DistinctImage(i + 1) : DistinctImage(9)};
    }
    QCOMPARE(ReadAll(path), ExpectedFile(expected));
    const std::vector<std::vector<std::uint8_t>> reads{{0xD0, 1}, {0xD0, 2}, {0xD0, 4}, {0xD0, 6}};
    QVERIFY(CommandsWithCode(line_->Unit(), 0xD0) == reads);

    // Wipe the unit, then bring the file back through the dialog's Open File.
    for (int slot = 1; slot <= 6; ++slot) {
        line_->SetMemory(slot, true, "Blank", DistinctImage(0));
    }
    StartDisconnect(nullptr, {});
    WaitForUnit();
    QVERIFY(line_->Connect());
    line_->Unit().ClearReceived();
    answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, path); };
    CDlgMemory dialog;
    dialog.show();
    // It asks first, naming the unit's memories the file replaces; No (the default) stores nothing.
    dialog.findChild<QPushButton*>(QStringLiteral("openFile"))->click();
    WaitForUnit();
    QCOMPARE(answerer.BoxTexts().back(), QStringLiteral("Store the file's memories 1, 2, 4, 6 into the unit?\nThey "
                                                        "replace the unit's memories 1 (Blank), 2 (Blank), 4 (Blank), "
                                                        "6 (Blank)."));
    QVERIFY(line_->Unit().ReceivedBytes().empty());
    answerer.boxAnswer = QMessageBox::Yes;
    dialog.findChild<QPushButton*>(QStringLiteral("openFile"))->click();
    WaitForUnit();

    const std::vector<std::vector<std::uint8_t>> stores{{0xCB, 1}, {0xCB, 2}, {0xCB, 4}, {0xCB, 6}};
    QVERIFY(CommandsWithCode(line_->Unit(), 0xCB) == stores);
    for (int slot = 1; slot <= 6; ++slot) {
        const EmulatedMemory memory = line_->Unit().Memory(slot);
        std::string name = used[slot - 1] ? names[slot - 1] : "Blank";
        name.resize(16, ' ');
        QCOMPARE(memory.name, name);
        QVERIFY(memory.image == (used[slot - 1] ? DistinctImage(slot) : DistinctImage(0)));
    }
    QCOMPARE(answerer.BoxTexts().back(), QStringLiteral("Load from file ok!\n4 memories stored: 1, 2, 4, 6.\nSkipped: "
                                                        "memory 3 (marked empty in the file), memory 5 (marked "
                                                        "empty in the file)."));
    QCOMPARE(answerer.Seen().back().caption, QStringLiteral("Load File"));
    auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("memoryList"));
    QCOMPARE(list->item(0, 1)->text(), QStringLiteral("Kick"));
    QCOMPARE(list->item(2, 1)->text(), QStringLiteral("Blank"));
}

void MemoryFileDialogsTest::loadSkipsRecordsNotMarkedUsedAndRejectsAFileWithoutTrailer()
{
    QVERIFY(line_->Connect());
    const EmulatedMemory firstBefore = line_->Unit().Memory(1);
    line_->Unit().ClearReceived();
    std::array<Record, 6> records;
    for (int i = 0; i < 6; ++i) {
        records[i] = {std::uint8_t(i + 1), 0, "", DistinctImage(0)};
    }
    records[0] = {1, 2, "Two", DistinctImage(2)};
    records[1] = {5, 1, "One", DistinctImage(1)};  // stored by position, not by its number
    const QString path = dir_->filePath(QStringLiteral("odd.cmf"));
    QVERIFY(WriteBytes(path, ExpectedFile(records)));
    ModalAnswerer answerer;
    answerer.boxAnswer = QMessageBox::Yes;

    bool listRefreshedBeforeTheBox = false;
    QCOMPARE(LoadAndWait(path, [&] { listRefreshedBeforeTheBox = answerer.BoxTexts().size() == 1; }),
             LoadFileResult::Loaded);
    QVERIFY(listRefreshedBeforeTheBox);

    const std::vector<std::vector<std::uint8_t>> stores{{0xCB, 2}};
    QVERIFY(CommandsWithCode(line_->Unit(), 0xCB) == stores);
    QCOMPARE(line_->Unit().Memory(2).name, std::string("One") + std::string(13, ' '));
    QVERIFY(line_->Unit().Memory(2).image == DistinctImage(1));
    QCOMPARE(line_->Unit().Memory(1).name, firstBefore.name);
    QVERIFY(line_->Unit().Memory(1).image == firstBefore.image);

    QVERIFY(WriteBytes(path, ExpectedFile(records).left(695)));
    line_->Unit().ClearReceived();
    QCOMPARE(LoadAndWait(path), LoadFileResult::FormatError);
    // The question before the good file's stores, its outcome, then the damaged file's error, asked nothing.
    QCOMPARE(answerer.BoxTexts().size(), 3);
    QVERIFY(answerer.BoxTexts()[1].startsWith(QStringLiteral(
        "Load from file ok!\n1 memory stored: 2.\nSkipped: memory 1 (used byte 2, not a stored program)")));
    QCOMPARE(answerer.BoxTexts().back(), QStringLiteral("File format error!\n") + QDir::toNativeSeparators(path) +
                                             QStringLiteral(": 695 of 704 bytes."));
    QCOMPARE(answerer.Seen().back().caption, QStringLiteral("Error"));
    QCOMPARE(answerer.Seen().back().icon, QMessageBox::Critical);
    QVERIFY(line_->Unit().ReceivedBytes().empty());
}

void MemoryFileDialogsTest::theSaveDialogAddsCmfOnlyWithoutAnExtensionAndAsksBeforeReplacing()
{
    QVERIFY(line_->Connect());
    ModalAnswerer answerer;
    QString chosen;
    int dialogsSeen = 0;
    answerer.onFileDialog = [&](QFileDialog& files) {
        // A declined replacement leaves the dialog open: cancel it then.
        if (++dialogsSeen > 1) {
            files.reject();
            return;
        }
        ChooseFile(files, dir_->filePath(chosen));
    };
    auto save = [&](const QString& name) {
        chosen = name;
        dialogsSeen = 0;
        SaveMemoryFile(nullptr);
        WaitForUnit();
    };

    save(QStringLiteral("preset"));
    QVERIFY(QFile::exists(dir_->filePath(QStringLiteral("preset.cmf"))));
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("preset"))));
    save(QStringLiteral("notes.txt"));
    QCOMPARE(ReadAll(dir_->filePath(QStringLiteral("notes.txt"))).size(), 704);
    QCOMPARE(answerer.Seen().size(), std::size_t{2});

    const QString existing = dir_->filePath(QStringLiteral("preset.cmf"));
    QVERIFY(WriteBytes(existing, "older"));
    answerer.boxAnswer = QMessageBox::No;
    save(QStringLiteral("preset"));
    QCOMPARE(answerer.Seen().size(), std::size_t{3});
    QVERIFY(answerer.Seen().back().text.contains(QStringLiteral("already exists")));
    QCOMPARE(ReadAll(existing), QByteArray("older"));

    answerer.boxAnswer = QMessageBox::Yes;
    save(QStringLiteral("preset"));
    QCOMPARE(ReadAll(existing).size(), 704);
    QCOMPARE(answerer.Seen().back().text, QStringLiteral("Save memory data to File."));
}

void MemoryFileDialogsTest::aSaveThatCannotBeCompletedLeavesThePreviousFileByteForByte()
{
    const QString path = dir_->filePath(QStringLiteral("keep.cmf"));
    QByteArray previous;
    for (int i = 0; i < 704; ++i) {
        previous += char(i * 7);
    }
    QVERIFY(WriteBytes(path, previous));
    QVERIFY(line_->Connect());
    ModalAnswerer answerer;

    {
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner);
        WithoutPermissionOverride asPlainUser;
        const QByteArray probe = dir_->filePath(QStringLiteral("probe")).toLocal8Bit();
        const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
        QVERIFY2(fd < 0, "the folder must be read-only for this test");

        QVERIFY(!SaveAndWait(path));
    }
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(answerer.BoxTexts(), QStringList{"Fail to open file."});
    QCOMPARE(answerer.Seen().back().caption, QStringLiteral("Error"));
    QCOMPARE(ReadAll(path), previous);

    {
        FileSizeLimit diskAlmostFull(256);
        QVERIFY(!SaveAndWait(path));
    }
    QCOMPARE(answerer.BoxTexts(), (QStringList{"Fail to open file.", "Fail to write file."}));
    QCOMPARE(answerer.Seen().back().icon, QMessageBox::Critical);
    QCOMPARE(ReadAll(path), previous);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"keep.cmf"});
}

void MemoryFileDialogsTest::aSaveWithAUnitSilentFromMemory3NeverHoldsTheWindowAndCancelLeavesTheFile()
{
    const QString path = dir_->filePath(QStringLiteral("keep.cmf"));
    const QByteArray previous(704, 'p');
    QVERIFY(WriteBytes(path, previous));
    QVERIFY(line_->Connect());
    line_->Unit().SetFaults({.silentAfterExchanges = line_->Unit().Exchanges() + 2});
    ModalAnswerer answerer;

    bool saved = true;
    SaveMemoryFileTo(path, nullptr, [&saved](bool ended) { saved = ended; });
    QTRY_VERIFY(ShownProgress() && ShownProgress()->labelText().endsWith(QStringLiteral("slot 3 of 6")));
    LatenessProbe probe;
    QTest::qWait(300);  // well into the silent memory's wait
    // Memory 3 would hold the save for a second, and each after it as long.
    QVERIFY(CancelAndWait(ShownProgress()) < 500);

    QVERIFY2(probe.MaxLateMs() < kHeldUpMs, qPrintable(QStringLiteral("stalled %1 ms").arg(probe.MaxLateMs())));
    QVERIFY(!saved);
    QVERIFY(answerer.Seen().empty());
    QCOMPARE(ReadAll(path), previous);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"keep.cmf"});
}

void MemoryFileDialogsTest::aCancelledLoadNamesTheMemoriesAlreadyStored()
{
    std::array<Record, 6> records;
    for (int i = 0; i < 6; ++i) {
        records[i] = {std::uint8_t(i + 1), 1, "Show", DistinctImage(i)};
    }
    const QString path = dir_->filePath(QStringLiteral("show.cmf"));
    QVERIFY(WriteBytes(path, ExpectedFile(records)));
    QVERIFY(line_->Connect());
    // Each store is one answered frame: the third one's blocks go unanswered.
    line_->Unit().SetFaults({.silentAfterExchanges = line_->Unit().Exchanges() + 3});
    ModalAnswerer answerer;
    answerer.boxAnswer = QMessageBox::Yes;

    LoadFileResult result = LoadFileResult::Loaded;
    LoadMemoryFileFrom(path, nullptr, {}, [&result](LoadFileResult ended) { result = ended; });
    QTRY_VERIFY(ShownProgress() && ShownProgress()->labelText().endsWith(QStringLiteral("slot 3 of 6")));
    QVERIFY(CancelAndWait(ShownProgress()) < 500);

    QCOMPARE(result, LoadFileResult::Cancelled);
    QCOMPARE(answerer.BoxTexts().back(),
             QStringLiteral("fail to download program data to unit!\n2 memories stored: 1, 2."));
    QVERIFY(line_->Unit().Memory(2).image == DistinctImage(1));
    QVERIFY(QString::fromLatin1(model.memName[1]).startsWith(QStringLiteral("Show")));  // the list shows it
}

QUENBAR_DESKTOP_TEST(MemoryFileDialogsTest)
#include "MemoryFileDialogsTest.moc"
