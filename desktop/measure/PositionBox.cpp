#include "measure/PositionBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace {

// What the box says: what spoils the position just measured, and where to go next.
QString PauseText(const PositionShown& pause)
{
    if (pause.measured == 0)
        return QStringLiteral("Move the microphone back to position 1 of %1: the parts ticked are applied once it "
                              "is there, and every position is measured again.")
            .arg(pause.count);
    QString text = QStringLiteral("Position %1 of %2 is measured.").arg(pause.measured).arg(pause.count);
    for (const OutputResult& output : pause.result.outputs)
        if (output.verdict != Verdict::Ok)
            text += QStringLiteral("\n%1: %2").arg(QString::fromLatin1(OutputName(output.output)),
                                                 QString::fromStdString(output.verdictText));
    if (pause.measured < pause.count)
        text += QStringLiteral("\n\nMove the microphone to position %1 of %2.").arg(pause.measured + 1).arg(pause.count);
    return text;
}

}  // namespace

QSpinBox* MakePositionsBox(QWidget* parent)
{
    auto* positions = new QSpinBox(parent);
    positions->setObjectName(QStringLiteral("positions"));
    positions->setRange(1, kMostPositions);
    positions->setValue(MeasureSettings{}.positions);
    positions->setToolTip(QStringLiteral("Microphone positions, each measured with the same outputs"));
    return positions;
}

QString WaitingText(const PositionShown& pause)
{
    if (pause.measured == pause.count)
        return QStringLiteral("Waiting: measure the last position again, or keep the positions.");
    return QStringLiteral("Waiting for position %1 of %2: move the microphone there.")
        .arg(pause.measured + 1)
        .arg(pause.count);
}

QMessageBox* OpenPositionBox(QWidget* parent, const PositionShown& pause, std::function<void(PositionChoice)> answered)
{
    auto* box = new QMessageBox(QMessageBox::Question, parent->windowTitle(), PauseText(pause), QMessageBox::NoButton,
                                parent);
    box->setObjectName(QStringLiteral("positionBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    const bool last = pause.measured == pause.count;
    QPushButton* next = box->addButton(last ? QStringLiteral("Keep the positions")
                                            : QStringLiteral("Measure position %1").arg(pause.measured + 1),
                                       QMessageBox::AcceptRole);
    QPushButton* again = pause.measured == 0 ? nullptr
                                             : box->addButton(QStringLiteral("Measure this position again"),
                                                              QMessageBox::ActionRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(next);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [next, again, answered](QAbstractButton* pressed) {
        answered(pressed == next                    ? PositionChoice::Next
                 : again && pressed == again        ? PositionChoice::Again
                                                    : PositionChoice::Cancel);
    });
    box->open();
    return box;
}
