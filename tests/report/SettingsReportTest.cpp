// The settings report read back by poppler's pdfinfo and pdftotext.
#include <QTemporaryDir>
#include <QtTest>

#include <string>

#include "SettingsReport.h"
#include "model/Model.h"
#include "model/Scales.h"
#include "tests/report/PdfProbe.h"

namespace {

// A setting whose two channels differ in every value the test reads.
ParameterModel DistinctSetting()
{
    ParameterModel m{};
    LoadDefaults(m);
    const int lr = kSlotLeftRight, sub = kSlotSub;
    m.gain[lr] = 122, m.gain[sub] = 132;
    m.polarity[sub] = 1;
    m.delay[lr] = 12, m.delay[sub] = 35;
    m.hpfType[lr] = 22, m.hpfFreq[lr] = 103, m.hpfFreq[sub] = 20;
    m.lpfType[lr] = 24, m.lpfFreq[lr] = 382, m.lpfType[sub] = 27, m.lpfFreq[sub] = 121;
    m.limThreshold[lr] = 21, m.limThreshold[sub] = 16;
    m.limHold[lr] = 50, m.limHold[sub] = 30;
    m.peqGain[PeqIndex(lr, 0)] = 158, m.peqGain[PeqIndex(sub, 0)] = 110;
    m.peqBandwidth[PeqIndex(lr, 1)] = 14;
    m.peqHiShelf[PeqIndex(sub, 1)] = 1;
    m.peqFlat[PeqIndex(lr, 2)] = 1;
    return m;
}

std::string Trimmed(std::string text)
{
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// The first line of the text that holds `label`.
std::string LineWith(const std::string& text, const std::string& label)
{
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return {};
    const std::size_t start = text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

}  // namespace

class SettingsReportTest : public QObject {
    Q_OBJECT
private slots:
    void reportIsOneA4PageWithTheNameAndEveryValueAsThePagesShowIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        const ParameterModel m = DistinctSetting();
        QVERIFY(WriteSettingsReport(path, m, {QStringLiteral("Main PA"), QStringLiteral("Memory 2 of venue.cmf")}));

        const PdfFacts facts = ReadPdfFacts(path.toStdString());
        QVERIFY(facts.opened);
        QCOMPARE(facts.pages, 1);
        QCOMPARE(facts.pageSize, kA4PageSize);
        QCOMPARE(facts.title, std::string("Main PA"));

        const std::string text = PdfText(path.toStdString());
        QVERIFY(text.find("Memory 2 of venue.cmf") != std::string::npos);
        const int lr = kSlotLeftRight, sub = kSlotSub;
        // Each row holds the Left&Right text, then the Sub text, as the pages write them.
        const struct {
            const char* label;
            std::string leftRight, sub;
        } rows[] = {
            {"Level", GainText(m.gain[lr]), GainText(m.gain[sub])},
            {"Polarity", "0\u00b0", "180\u00b0"},
            {"Delay", DelayFeetText(m.delay[lr]), DelayMetresText(m.delay[sub])},
            {"High Pass", FreqLabelAt(m.hpfFreq[lr]), FreqLabelAt(m.hpfFreq[sub])},
            {"Low Pass", Trimmed(FilterTypeNameAt(m.lpfType[lr])), Trimmed(FilterTypeNameAt(m.lpfType[sub]))},
            {"PEQ 1", PeqGainText(m.peqGain[PeqIndex(lr, 0)]), PeqGainText(m.peqGain[PeqIndex(sub, 0)])},
            {"PEQ 2", BandwidthText(m.peqBandwidth[PeqIndex(lr, 1)], 0, 0), "HISHELF"},
            {"PEQ 3", "FLAT", "0.0dB"},
            {"Threshold", ThresholdText(m.limThreshold[lr]), ThresholdText(m.limThreshold[sub])},
            {"Hold Time", LimiterTimeText(m.limHold[lr]) + " ms", LimiterTimeText(m.limHold[sub]) + " ms"},
        };
        for (const auto& row : rows) {
            const std::string line = LineWith(text, row.label);
            const std::size_t left = line.find(row.leftRight);
            const std::size_t right = line.rfind(row.sub);
            QVERIFY2(left != std::string::npos && right != std::string::npos && left < right, line.c_str());
        }
    }

    void reportThatCannotBeWrittenFails()
    {
        ParameterModel m{};
        LoadDefaults(m);
        QVERIFY(!WriteSettingsReport(QStringLiteral("/nonexistent-folder/report.pdf"), m, {}));
    }
};

QTEST_MAIN(SettingsReportTest)
#include "SettingsReportTest.moc"
