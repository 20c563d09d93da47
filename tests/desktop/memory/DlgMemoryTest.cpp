// The memory dialog and the store dialog against the emulated unit.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "app/UnitLink.h"
#include "memory/DlgMemory.h"
#include "memory/DlgStore.h"
#include "model/MemoryImage.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/ModalAnswerer.h"
#include "tests/desktop/app/UnitOnLine.h"

namespace {

QPushButton* Button(CDlgMemory& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

QTableWidget* List(CDlgMemory& dialog) { return dialog.findChild<QTableWidget*>(QStringLiteral("memoryList")); }

Image CurrentModelImage()
{
    Image image{};
    ModelToImage(model, image.data());
    return image;
}

std::string Padded(std::string name)
{
    name.resize(Rx74Emulator::kNameBytes, ' ');
    return name;
}

}  // namespace

class DlgMemoryTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aClickBesideTheRowsDisablesStoreDeleteAndRecall();
    void storeWithoutASelectionAsksForAProgramAndSendsNothing();
    void storeIntoAnEmptySlotAsksNothingAndIntoAUsedSlotAsksToOverwrite();
    void storeOffersPresetForABlankNameAndStoresTheStandardNameForABlankEntry();
    void theNameEditDropsCharactersBeyondSevenBitsKeepsBackspaceAndTenCharacters();
    void recallOfSlot3SendsItsRecallReplacesBothChannelsAndCloses();
    void recallAndStoreWhileDisconnectedFailAtOnceWithTheirBoxes();
    void recallAndStoreEndAtCancelAndTheDialogStartsNothingMeanwhile();

private:
    std::unique_ptr<UnitOnLine> line_;
};

void DlgMemoryTest::init()
{
    line_ = std::make_unique<UnitOnLine>();
    QVERIFY(line_->Open());
}

void DlgMemoryTest::cleanup() { line_.reset(); }

void DlgMemoryTest::aClickBesideTheRowsDisablesStoreDeleteAndRecall()
{
    CDlgMemory dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTableWidget* list = List(dialog);
    QVERIFY(Button(dialog, "store")->isEnabled());
    QVERIFY(Button(dialog, "recall")->isEnabled());
    QVERIFY(!Button(dialog, "delete")->isVisible());

    const QPoint below(list->viewport()->width() / 2, list->rowViewportPosition(5) + list->rowHeight(5) + 4);
    QVERIFY2(!list->indexAt(below).isValid(), "the click must land beside the rows");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);

    QVERIFY(list->selectionModel()->selectedRows().isEmpty());
    QVERIFY(!Button(dialog, "store")->isEnabled());
    QVERIFY(!Button(dialog, "delete")->isEnabled());
    QVERIFY(!Button(dialog, "recall")->isEnabled());

    // A click on a row brings them back.
    const QRect row3 = list->visualRect(list->model()->index(2, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row3.center());
    QCOMPARE(model.curMemory, 3);
    QVERIFY(Button(dialog, "store")->isEnabled());
    QVERIFY(Button(dialog, "recall")->isEnabled());
}

void DlgMemoryTest::storeWithoutASelectionAsksForAProgramAndSendsNothing()
{
    QVERIFY(line_->Connect());
    line_->Unit().ClearReceived();
    ModalAnswerer answerer;
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->clearSelection();

    Button(dialog, "store")->click();

    QCOMPARE(answerer.BoxTexts(), QStringList{"Please select a program!"});
    QCOMPARE(answerer.Seen().front().caption, QStringLiteral("Quenbar"));
    QCOMPARE(answerer.storeDialogs, 0);
    QVERIFY(line_->Unit().ReceivedBytes().empty());
    QVERIFY(dialog.isVisible());
}

void DlgMemoryTest::storeIntoAnEmptySlotAsksNothingAndIntoAUsedSlotAsksToOverwrite()
{
    line_->SetMemory(2, false, "", DistinctImage(2));
    line_->SetMemory(3, true, "Old", DistinctImage(3));
    line_->Unit().SetCurrentImage(DistinctImage(7));
    QVERIFY(line_->Connect());

    ModalAnswerer answerer;
    QString offered;
    QString nextName = QStringLiteral("Kick");
    answerer.onStore = [&](CDlgStore& store) {
        offered = store.Name();
        store.SetName(nextName);
        store.accept();
    };
    {
        CDlgMemory dialog;
        dialog.show();
        List(dialog)->selectRow(1);
        Button(dialog, "store")->click();
        WaitForUnit();
        QVERIFY(answerer.Seen().empty());
        QVERIFY(!dialog.isVisible());
    }
    const EmulatedMemory kick = line_->Unit().Memory(2);
    QVERIFY(kick.used);
    QCOMPARE(kick.name, Padded("Kick"));
    QVERIFY(kick.image == DistinctImage(7));
    QCOMPARE(model.memUsed[1], 1);
    QCOMPARE(QString::fromLatin1(model.memName[1]), QStringLiteral("Kick"));
    QCOMPARE(model.curMemory, 2);

    // A used slot: declining the question keeps the dialog and the slot.
    nextName = QStringLiteral("Snare");
    answerer.boxAnswer = QMessageBox::No;
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->selectRow(2);
    Button(dialog, "store")->click();
    WaitForUnit();
    QCOMPARE(offered, QStringLiteral("Old"));
    QCOMPARE(answerer.BoxTexts(), QStringList{"Do you want to overwrite?\nMemory 3 (Old) will be replaced."});
    QCOMPARE(answerer.Seen().front().caption, QStringLiteral("Warning"));
    QCOMPARE(answerer.Seen().front().icon, QMessageBox::Question);
    QCOMPARE(line_->Unit().Memory(3).name, Padded("Old"));
    QVERIFY(dialog.isVisible());

    answerer.boxAnswer = QMessageBox::Yes;
    Button(dialog, "store")->click();
    WaitForUnit();
    QCOMPARE(line_->Unit().Memory(3).name, Padded("Snare"));
    QVERIFY(line_->Unit().Memory(3).image == DistinctImage(7));
    QVERIFY(!dialog.isVisible());
}

void DlgMemoryTest::storeOffersPresetForABlankNameAndStoresTheStandardNameForABlankEntry()
{
    line_->SetMemory(4, false, "", DistinctImage(4));
    QVERIFY(line_->Connect());

    ModalAnswerer answerer;
    QString offered;
    answerer.onStore = [&](CDlgStore& store) {
        offered = store.Name();
        store.SetName(QStringLiteral("    "));
        store.accept();
    };
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->selectRow(3);
    Button(dialog, "store")->click();
    WaitForUnit();

    QCOMPARE(offered, QStringLiteral("Preset"));
    QCOMPARE(line_->Unit().Memory(4).name, std::string("2 x 2 WAY + Msum"));
    QVERIFY(answerer.Seen().empty());
}

void DlgMemoryTest::theNameEditDropsCharactersBeyondSevenBitsKeepsBackspaceAndTenCharacters()
{
    CDlgStore store;
    store.SetSlot(5);
    store.SetName(QStringLiteral("ab"));
    store.show();
    QVERIFY(QTest::qWaitForWindowExposed(&store));
    QCOMPARE(store.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Memory No:5"));
    auto* edit = store.findChild<QLineEdit*>(QStringLiteral("name"));
    edit->setFocus();
    edit->end(false);

    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Eacute, QString(QChar(0xE9)), Qt::NoModifier);
    QCOMPARE(store.Name(), QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_C);
    QCOMPARE(store.Name(), QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(store.Name(), QStringLiteral("ab"));

    QTest::keyClicks(edit, QStringLiteral("0123456789"));
    QCOMPARE(store.Name(), QStringLiteral("ab01234567"));
}

void DlgMemoryTest::recallOfSlot3SendsItsRecallReplacesBothChannelsAndCloses()
{
    line_->SetMemory(3, true, "Live", DistinctImage(12));
    line_->Unit().SetCurrentImage(DistinctImage(1));
    QVERIFY(line_->Connect());
    QCOMPARE(model.gain[0], 101);
    line_->Unit().ClearReceived();

    // Recall asks first, naming the memory; No (the default) sends nothing.
    ModalAnswerer answerer;
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->selectRow(2);
    Button(dialog, "recall")->click();
    WaitForUnit();
    QCOMPARE(answerer.BoxTexts(), QStringList{"Recall memory 3 (Live)?\nThe current setting will be replaced."});
    QVERIFY(line_->Unit().ReceivedPayloads().empty());
    QVERIFY(dialog.isVisible());

    answerer.boxAnswer = QMessageBox::Yes;
    Button(dialog, "recall")->click();
    WaitForUnit();
    const std::vector<std::vector<std::uint8_t>> recall{{0xCC, 3}};
    QVERIFY(line_->Unit().ReceivedPayloads() == recall);
    QCOMPARE(model.gain[0], 112);
    QCOMPARE(model.delay[0], 12);
    QCOMPARE(model.gain[2], 108);
    QVERIFY(CurrentModelImage() == DistinctImage(12));
    QCOMPARE(answerer.Seen().size(), std::size_t{2});
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void DlgMemoryTest::recallAndStoreWhileDisconnectedFailAtOnceWithTheirBoxes()
{
    const Image before = CurrentModelImage();
    ModalAnswerer answerer;
    answerer.boxAnswer = QMessageBox::Yes;
    answerer.onStore = [](CDlgStore& store) { store.accept(); };
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->selectRow(2);

    Button(dialog, "recall")->click();
    WaitForUnit();
    QCOMPARE(answerer.BoxTexts().back(), QStringLiteral("Fail to read from MCU !"));
    QCOMPARE(answerer.Seen().back().caption, QStringLiteral("MQX-71"));
    QCOMPARE(answerer.Seen().back().icon, QMessageBox::Critical);
    QVERIFY(dialog.isVisible());
    QVERIFY(CurrentModelImage() == before);

    Button(dialog, "store")->click();
    WaitForUnit();
    QCOMPARE(
        answerer.BoxTexts(),
        (QStringList{"Recall memory 3 (Preset 3)?\nThe current setting will be replaced.", "Fail to read from MCU !",
                     "Do you want to overwrite?\nMemory 3 (Preset 3) will be replaced.", "Fail to store to memory !"}));
    QCOMPARE(answerer.Seen().back().caption, QStringLiteral("MQX-71"));
    QCOMPARE(QString::fromLatin1(model.memName[2]), QStringLiteral("Preset 3  "));
    QVERIFY(!dialog.isVisible());
    QVERIFY(line_->Unit().ReceivedBytes().empty());
}

void DlgMemoryTest::recallAndStoreEndAtCancelAndTheDialogStartsNothingMeanwhile()
{
    line_->SetMemory(3, true, "Live", DistinctImage(12));
    QVERIFY(line_->Connect());
    const Image before = CurrentModelImage();
    line_->Unit().SetFaults({.silent = true});
    ModalAnswerer answerer;
    answerer.boxAnswer = QMessageBox::Yes;
    answerer.onStore = [](CDlgStore& store) {
        store.SetName(QStringLiteral("New"));
        store.accept();
    };
    CDlgMemory dialog;
    dialog.show();
    List(dialog)->selectRow(2);

    for (const char* command : {"recall", "store"}) {
        Button(dialog, command)->click();
        QTRY_VERIFY(ShownProgress());
        for (const char* button : {"store", "recall", "openFile", "saveFile", "exit"}) {
            QVERIFY(!Button(dialog, button)->isEnabled());
        }
        dialog.reject();  // Escape does not close it either
        QVERIFY(dialog.isVisible());
        // A silent unit holds each step for a second.
        QVERIFY(CancelAndWait(ShownProgress()) < 500);
        QVERIFY(dialog.isVisible());
        QVERIFY(Button(dialog, "exit")->isEnabled());
    }
    // Neither reports a failure the user asked for, nor changes what the program holds.
    QCOMPARE(answerer.BoxTexts(), (QStringList{"Recall memory 3 (Live)?\nThe current setting will be replaced.",
                                               "Do you want to overwrite?\nMemory 3 (Live) will be replaced."}));
    QVERIFY(CurrentModelImage() == before);
    QCOMPARE(QString::fromLatin1(model.memName[2]), QStringLiteral("Live"));
}

QUENBAR_DESKTOP_TEST(DlgMemoryTest)
#include "DlgMemoryTest.moc"
