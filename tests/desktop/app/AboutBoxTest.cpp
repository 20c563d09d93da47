// The About box: its short and long layout, the hidden key sequences and
// the two service functions they arm.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/AboutDlg.h"
#include "app/AppSettings.h"
#include "app/Identity.h"
#include "app/PortSetting.h"
#include "app/ServiceKeys.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

// A key that starts no sequence puts the recogniser back to idle.
void ResetRecogniser() { ProcessServiceKeys().Feed(Qt::Key_Z, true); }

void TypeWithControl(CAboutDlg& box, const char* letters)
{
    for (const char* c = letters; *c; ++c)
        QTest::keyClick(box.KeyTarget(), static_cast<Qt::Key>(*c), Qt::ControlModifier);
}

std::vector<std::uint8_t> Codes(const std::vector<std::vector<std::uint8_t>>& payloads)
{
    std::vector<std::uint8_t> codes;
    for (const auto& payload : payloads) codes.push_back(payload.at(0));
    return codes;
}

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Rx74Emulator> unit_;

    void ConnectToUnit()
    {
        unit_ = StartEmulatorOnCom(1);
        QVERIFY(unit_);
        SetCurrentPortNumber(1);
        QVERIFY(OpenCurrentPort());
        ConnectResult result = ConnectResult::HandshakeFailed;
        StartConnect(nullptr, [&result](const ConnectReport& ended) { result = ended.result; });
        WaitForUnit();
        QCOMPARE(result, ConnectResult::Connected);
        unit_->ClearReceived();
    }

private slots:
    void cleanupTestCase() { CloseUnitPort(); }

    void init()
    {
        ClearProgramSettings();
        model = ParameterModel{};
        LoadDefaults(model);
        ResetRecogniser();
    }

    void cleanup()
    {
        CloseUnitPort();
        unit_.reset();
    }

    void recogniserFollowsOneSequenceAtATime()
    {
        ServiceKeyRecogniser keys;
        for (const char* c = "RTRS"; *c; ++c) QCOMPARE(keys.Feed(*c, true), ServiceFunction::None);
        QCOMPARE(keys.Feed('T', true), ServiceFunction::Reset);
        QCOMPARE(keys.State(), 0);
        for (const char* c = "LOG"; *c; ++c) keys.Feed(*c, true);
        QCOMPARE(keys.Feed('O', true), ServiceFunction::Logo);

        // A wrong key ends the sequence and is not taken as a new start.
        keys.Feed('R', true);
        keys.Feed('L', true);
        QCOMPARE(keys.State(), 0);
        for (const char* c = "OGO"; *c; ++c) QCOMPARE(keys.Feed(*c, true), ServiceFunction::None);

        // Keys without Control, and Control's own repeated press, leave the
        // progress where it was.
        keys.Feed('L', true);
        const int afterL = keys.State();
        keys.Feed('X', false);
        keys.Feed(Qt::Key_Control, true);
        QCOMPARE(keys.State(), afterL);
        for (const char* c = "OG"; *c; ++c) keys.Feed(*c, true);
        QCOMPARE(keys.Feed('O', true), ServiceFunction::Logo);
    }

    void boxOpensShortWithTheIdentity()
    {
        CAboutDlg box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QCOMPARE(box.height(), box.ShortHeight());
        QVERIFY(box.ShortHeight() < box.FullHeight());
        QStringList texts;
        for (QLabel* label : box.findChildren<QLabel*>()) texts << label->text();
        for (const char* identity : {kVersionLine, kNoticeLine, kMakerName, kBuildDate})
            QVERIFY(texts.contains(QString::fromLatin1(identity)));
        QVERIFY(texts.contains(ProgramVersionLine()));
        QVERIFY(ProgramVersionLine().contains(QStringLiteral(QUENBAR_PROJECT_VERSION)));
        QCOMPARE(box.OkButton()->text(), QStringLiteral("OK"));
        QCOMPARE(box.LogoLine(0)->maxLength(), 20);
    }

    void sequencesArmTheFunctionsOncePerKeyPress()
    {
        CAboutDlg box;
        box.show();
        box.OkButton()->setFocus();
        TypeWithControl(box, "RTRST");
        QVERIFY(box.ResetArmed());
        QCOMPARE(box.OkButton()->text(), QStringLiteral("Reset"));
        QCOMPARE(box.height(), box.ShortHeight());
        TypeWithControl(box, "LOGO");
        QVERIFY(box.LogoArmed());
        QCOMPARE(box.OkButton()->text(), QStringLiteral("Logo"));
        QCOMPARE(box.height(), box.FullHeight());
        // Typing into a logo line counts each press once as well.
        box.LogoLine(0)->setFocus();
        QCOMPARE(box.KeyTarget(), box.LogoLine(0));
        TypeWithControl(box, "RTRST");
        QCOMPARE(ProcessServiceKeys().State(), 0);
    }

    void halfTypedSequenceContinuesInTheNextOpening()
    {
        {
            CAboutDlg first;
            TypeWithControl(first, "LO");
            QVERIFY(!first.LogoArmed());
        }
        CAboutDlg second;
        QCOMPARE(second.OkButton()->text(), QStringLiteral("OK"));
        QCOMPARE(second.height(), second.ShortHeight());
        TypeWithControl(second, "GO");
        QVERIFY(second.LogoArmed());
    }

    void resetSendsTheResetAndReadsTheUnitBack()
    {
        ConnectToUnit();
        DisturbModel();
        ModalAnswerer boxes;
        CAboutDlg box;
        TypeWithControl(box, "RTRST");
        box.OkButton()->click();
        WaitForUnit();
        QVERIFY(boxes.Seen().empty());
        QCOMPARE(box.result(), int{QDialog::Accepted});
        const auto payloads = unit_->ReceivedPayloads();
        QVERIFY(!payloads.empty());
        QCOMPARE(payloads.front(), ParameterPayload(model, PID_RESET));
        // Then the six memory names and the current setting are read back.
        std::vector<std::uint8_t> expected{ParameterPayload(model, PID_RESET).at(0)};
        expected.insert(expected.end(), 6, kCodeReadMemoryName);
        expected.push_back(kCodeReadCurrent);
        QCOMPARE(Codes(payloads), expected);
        // The unit's setting after its reset is now in the model.
        std::array<std::uint8_t, kImageSize> image{};
        ModelToImage(model, image.data());
        QCOMPARE(image, unit_->CurrentImage());
    }

    void resetWhileDisconnectedReportsTheFailedRead()
    {
        ModalAnswerer boxes;
        CAboutDlg box;
        TypeWithControl(box, "RTRST");
        box.OkButton()->click();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].text, QStringLiteral("Read current value fail!."));
        QCOMPARE(boxes.Seen()[0].caption, QStringLiteral("Error"));
    }

    void logoSendsPaddedSevenBitLinesAndKeepsThem()
    {
        ConnectToUnit();
        ModalAnswerer boxes;
        CAboutDlg box;
        TypeWithControl(box, "LOGO");
        box.LogoLine(0)->setText(QStringLiteral("ABC"));
        box.LogoLine(1)->setText(QString::fromUtf8("Caf\xc3\xa9 Bar"));
        box.OkButton()->click();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].caption, QStringLiteral("Quenbar"));
        QCOMPARE(boxes.Seen()[0].text, LogoResultText(true));
        QCOMPARE(boxes.Seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        const QString line1 = QStringLiteral("ABC") + QString(17, ' ');
        const QString line2 = QStringLiteral("Cafi Bar") + QString(12, ' ');
        QCOMPARE(ProgramSettings()->value("LOGO/str1").toString(), line1);
        QCOMPARE(ProgramSettings()->value("LOGO/str2").toString(), line2);
        QCOMPARE(QString::fromLatin1(model.logoText), line1 + line2);
        QTRY_COMPARE(QString::fromStdString(unit_->Logo()), line1.left(16) + line2.left(16));
    }

    void logoWhileDisconnectedReportsFailureButKeepsTheLines()
    {
        ModalAnswerer boxes;
        CAboutDlg box;
        TypeWithControl(box, "LOGO");
        box.LogoLine(0)->setText(QStringLiteral("Hi"));
        box.OkButton()->click();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].text, LogoResultText(false));
        QCOMPARE(LogoResultText(false), QString::fromUtf8("商标更改失败"));
        QCOMPARE(LogoResultText(true), QString::fromUtf8("商标更改成功"));
        QCOMPARE(ProgramSettings()->value("LOGO/str1").toString(), QStringLiteral("Hi") + QString(18, ' '));
        QCOMPARE(ProgramSettings()->value("LOGO/str2").toString(), QString(20, ' '));
    }
};

QUENBAR_DESKTOP_TEST(AboutBoxTest)
#include "AboutBoxTest.moc"
