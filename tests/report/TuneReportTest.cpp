// The tune report read back by poppler's pdfinfo and pdftotext: the
// proposal part by part with what was applied, the verification with the
// misses of the prediction named (of several positions each one's figures
// and the one that got worse), and the setting before and after; the
// curves it and the Tune window draw of several positions.
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <span>
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

// Every output `db` louder from `fromHz` to `toHz`.
SystemMeasurement Louder(SystemMeasurement m, double db, double fromHz = 0.0, double toHz = 1e9)
{
    for (MeasuredResponse* output : {&m.left, &m.right, &m.sub, &m.system})
        for (std::size_t i = 0; i < output->hz.size(); ++i)
            if (output->hz[i] > fromHz && output->hz[i] < toHz) output->response[i] *= std::pow(10.0, db / 20.0);
    return m;
}

std::span<const SystemMeasurement> One(const SystemMeasurement& m) { return {&m, 1}; }

// "3.1 dB", as the report writes a figure.
std::string DbFigure(double db) { return QString::number(db, 'f', 1).toStdString() + " dB"; }

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
                                  {One(before), One(predicted), One(measured), proposal.region},
                                  &verification,
                                  proposal.region,
                                  1};
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
        QVERIFY(!Holds(text, "Position 1"));  // one position: none named
        // The second page: the Sub's level as it was and as it is now.
        const std::size_t settingsPage = text.find("The setting before");
        QVERIFY(settingsPage != std::string::npos);
        const std::size_t afterTable = text.find("The setting after", settingsPage);
        QVERIFY(afterTable != std::string::npos);
        QVERIFY(Holds(text.substr(settingsPage, afterTable - settingsPage), GainText(setting.gain[kSlotSub])));
        QVERIFY(Holds(text.substr(afterTable), GainText(after.gain[kSlotSub])));
    }

    // The second seat 10 dB quieter from 200 to 800 Hz after than
    // predicted: its figures, the average's and its name as worse than before.
    void namesEachPositionsFiguresAndTheOneThatGotWorse()
    {
        const ParameterModel setting = CrossedAt100Hz();
        const std::vector before{CrossedSystemMeasurement(), Louder(CrossedSystemMeasurement(), 3.0)};
        const TuneProposal proposal = ProposeTuningAtPositions(before, setting, {});
        const TuneParts applied{};
        const ParameterModel after = ProposedSetting(setting, proposal, applied);
        std::vector<SystemMeasurement> predicted;
        for (const SystemMeasurement& position : before)
            predicted.push_back(PredictedMeasurement(position, setting, after));
        const std::vector measured{predicted[0], Louder(predicted[1], -10.0, 200.0, 800.0)};
        const TuneVerification verification =
            VerifyTuningAtPositions(before, predicted, measured, setting, proposal.region, FitOptions{});
        const SpatialVerification positions = VerifyAtPositions(before, measured, proposal.region, FitOptions{});
        QCOMPARE(positions.worse, std::vector<int>{2});

        TuneReportContent content{{QStringLiteral("System tuning"), {}}, &setting, &after, &proposal, applied,
                                  {before, predicted, measured, proposal.region}, &verification, proposal.region, 1,
                                  &positions};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tune.pdf"));
        QVERIFY(WriteTuneReport(path, content));
        if (qEnvironmentVariableIsSet("TUNE_POSITIONS_REPORT_COPY"))
            QFile::copy(path, qEnvironmentVariable("TUNE_POSITIONS_REPORT_COPY"));
        const std::string text = PdfText(path.toStdString());
        for (std::size_t k = 0; k < 2; ++k) {
            const std::string name = "Position " + std::to_string(k + 1) + ": RMS from the target ";
            const std::size_t at = text.find(name);
            QVERIFY2(at != std::string::npos, name.c_str());
            const std::string line = text.substr(at, text.find("Position", at + 1) - at);
            QVERIFY2(Holds(line, DbFigure(positions.positions[k].rmsBeforeDb)), line.c_str());
            QVERIFY2(Holds(line, DbFigure(positions.positions[k].rmsAfterDb)), line.c_str());
            QVERIFY2(Holds(line, "crossover sum"), line.c_str());
        }
        QVERIFY(Holds(text, "Average of the positions: RMS from the target " +
                                DbFigure(positions.averageRmsBeforeDb)));
        QVERIFY(Holds(text, "Position 2 got worse by more than 1.0 dB"));
        QVERIFY(Holds(text, "Each output as measured at position 1 of 2"));  // the table is the first's
        QVERIFY(!Holds(text, "Position 1 got worse"));
    }

    // Of two seats, the second 6 dB louder everywhere: the curve is their
    // mean power (4.0 dB above the first), each seat drawn behind it with a
    // spread of 6 dB; after measuring again, behind the curve after.
    void curvesOfSeveralPositionsAreTheirAverageWithEachBehind()
    {
        const SystemMeasurement near = CrossedSystemMeasurement();
        const std::vector seats{near, Louder(near, 6.0)};
        const CrossoverRegion region = ProposeTuning(near, CrossedAt100Hz(), {}).region;
        const double kMeanDb = 10.0 * std::log10((1.0 + std::pow(10.0, 0.6)) / 2.0);
        for (const TuneOutput output : kTuneOutputs) {
            const TuneGraph graph = TuneCurves({seats, seats, {}, region}, output, PaperTuneColours());
            QCOMPARE(graph.curves.size(), std::size_t{2});
            QCOMPARE(graph.positions.size(), std::size_t{1});
            const PositionCurves& round = graph.positions.front();
            QCOMPARE(round.average.name, QStringLiteral("Before"));
            QCOMPARE(round.positions.size(), std::size_t{2});
            int compared = 0;
            for (std::size_t step = 0; step < kFreqSteps; ++step) {
                if (!std::isfinite(round.positions[0][step])) continue;
                ++compared;
                QVERIFY(std::abs(round.average.levels[step] - round.positions[0][step] - kMeanDb) < 0.01);
                QVERIFY(std::abs(round.positions[1][step] - round.positions[0][step] - 6.0) < 0.01);
                QVERIFY(std::abs(round.spreadDb[step] - 6.0) < 0.01);
            }
            QVERIFY(compared > 100);

            const TuneGraph verified = TuneCurves({seats, seats, std::vector{near, near}, region}, output,
                                                  PaperTuneColours());
            QCOMPARE(verified.positions.front().average.name, QStringLiteral("After"));
            QVERIFY(std::abs(verified.positions.front().spreadDb[kFreqSteps / 2]) < 1e-9);
            // One position: its own curves, none behind them.
            QVERIFY(TuneCurves({One(near), One(near), One(near), region}, output, PaperTuneColours()).positions.empty());
        }
    }

    void beforeMeasuringAgainHasNoVerification()
    {
        const SystemMeasurement before = CrossedSystemMeasurement();
        const ParameterModel setting = CrossedAt100Hz();
        // From two positions, the second with the Sub 1 ms later.
        SystemMeasurement later = before;
        for (std::size_t i = 0; i < later.sub.hz.size(); ++i)
            later.sub.response[i] *= std::polar(1.0, -2.0 * 3.141592653589793 * later.sub.hz[i] * 0.001);
        const std::vector seats{before, later};
        const TuneProposal proposal = ProposeTuningAtPositions(seats, setting, {});
        TuneReportContent content{{QStringLiteral("Proposal"), {}}, &setting, &setting, &proposal, {false, false, false, false},
                                  {seats, proposal.predictedPositions, {}, proposal.region}, nullptr,
                                  proposal.region, 0};
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
