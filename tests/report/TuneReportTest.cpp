// The tune report read back by poppler's pdfinfo and pdftotext: the
// proposal part by part with what was applied, the verification with the
// misses of the prediction named, and the setting before and after.
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "TuneReport.h"
#include "model/Scales.h"
#include "tests/report/PdfProbe.h"
#include "tests/support/TuningSamples.h"

namespace {

ParameterModel CrossedAt100Hz()
{
    ParameterModel setting{};
    LoadDefaults(setting);
    setting.hpfType[kSlotLeftRight] = setting.lpfType[kSlotSub] = 24;
    setting.hpfFreq[kSlotLeftRight] = setting.lpfFreq[kSlotSub] = FreqIndexFromHz(100.0);
    return setting;
}

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

class TuneReportTest : public QObject {
    Q_OBJECT
private slots:
    void givesTheProposalTheVerificationAndBothSettingsOnTwoPages()
    {
        const SystemMeasurement before = CrossedSystemMeasurement();
        const ParameterModel setting = CrossedAt100Hz();
        const TuneProposal proposal = ProposeTuning(before, setting, {});
        const TuneParts applied{.alignment = true, .levels = true, .peqLr = false, .peqSub = true};
        const ParameterModel after = ProposedSetting(setting, proposal, applied);
        const SystemMeasurement predicted = PredictedMeasurement(before, setting, after);
        // Left measured 3 dB louder than predicted above 1 kHz: a miss to name.
        SystemMeasurement measured = predicted;
        for (std::size_t i = 0; i < measured.left.hz.size(); ++i)
            if (measured.left.hz[i] > 1000.0) measured.left.response[i] *= std::pow(10.0, 3.0 / 20.0);
        const TuneVerification verification =
            VerifyTuning(before, predicted, measured, setting, proposal.region, FitOptions{});

        TuneReportContent content{{QStringLiteral("System tuning"), QStringLiteral("The unit on /dev/ttyUSB0")},
                                  &setting,
                                  &after,
                                  &proposal,
                                  applied,
                                  {&before, &predicted, &measured, proposal.region},
                                  &verification,
                                  proposal.region,
                                  1};
        SpatialVerification positions;
        positions.positions.resize(2);
        positions.worse = {2};
        content.positions = &positions;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tune.pdf"));
        QVERIFY(WriteTuneReport(path, content));
        const PdfFacts facts = ReadPdfFacts(path.toStdString());
        QVERIFY(facts.opened);
        QCOMPARE(facts.pages, 2);
        QCOMPARE(facts.pageSize, kA4PageSize);
        QCOMPARE(facts.title, std::string("System tuning"));

        const std::string text = PdfText(path.toStdString());
        if (qEnvironmentVariableIsSet("TUNE_REPORT_COPY")) QFile::copy(path, qEnvironmentVariable("TUNE_REPORT_COPY"));
        QVERIFY(Holds(text, "The unit on /dev/ttyUSB0"));
        for (const char* part : {"Alignment", "Sub level", "PEQ Left & Right", "PEQ Sub"}) QVERIFY2(Holds(text, part), part);
        QVERIFY(Holds(text, "Sub polarity inverted"));
        // Only the Left & Right PEQ was left out.
        std::size_t notApplied = 0;
        for (std::size_t at = text.find("not applied"); at != std::string::npos; at = text.find("not applied", at + 1))
            ++notApplied;
        QCOMPARE(notApplied, std::size_t{1});
        // (pdftotext reads "ff" as its ligature.)
        const std::size_t miss = text.find("from the prediction by +3.0 dB");
        QVERIFY(miss != std::string::npos);
        QCOMPARE(text.substr(text.rfind('\n', miss) + 1, 5), std::string("Left "));
        // No other output is named; the second pass is due.
        const std::size_t next = text.find("from the prediction by", miss + 1);
        QVERIFY(next != std::string::npos);
        QCOMPARE(text.substr(next, 36), std::string("from the prediction by more than 1.0"));
        QVERIFY(Holds(text, "Average of the positions"));
        QVERIFY(Holds(text, "Position 2 got worse by more than 1.0 dB"));
        // The second page: the Sub's level as it was and as it is now.
        const std::size_t settingsPage = text.find("The setting before");
        QVERIFY(settingsPage != std::string::npos);
        const std::size_t afterTable = text.find("The setting after", settingsPage);
        QVERIFY(afterTable != std::string::npos);
        QVERIFY(Holds(text.substr(settingsPage, afterTable - settingsPage), GainText(setting.gain[kSlotSub])));
        QVERIFY(Holds(text.substr(afterTable), GainText(after.gain[kSlotSub])));
    }

    void beforeMeasuringAgainHasNoVerification()
    {
        const SystemMeasurement before = CrossedSystemMeasurement();
        const ParameterModel setting = CrossedAt100Hz();
        // From two positions, the second with the Sub 1 ms later.
        SystemMeasurement later = before;
        for (std::size_t i = 0; i < later.sub.hz.size(); ++i)
            later.sub.response[i] *= std::polar(1.0, -2.0 * 3.141592653589793 * later.sub.hz[i] * 0.001);
        const TuneProposal proposal = ProposeTuningAtPositions(std::vector{before, later}, setting, {});
        TuneReportContent content{{QStringLiteral("Proposal"), {}}, &setting, &setting, &proposal, {false, false, false, false},
                                  {&before, &proposal.predicted, nullptr, proposal.region}, nullptr, proposal.region, 0};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tune.pdf"));
        QVERIFY(WriteTuneReport(path, content));
        const std::string text = PdfText(path.toStdString());
        QVERIFY(!Holds(text, "Measured again"));
        QVERIFY(Holds(text, "Position 2: tops and Sub add"));
        QVERIFY(Holds(text, "not applied"));
        QVERIFY(!WriteTuneReport(QStringLiteral("/nonexistent-folder/tune.pdf"), content));
    }
};

QTEST_MAIN(TuneReportTest)
#include "TuneReportTest.moc"
