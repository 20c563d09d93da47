#include "status/UnitStatePane.h"

#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QWidget>

#include "app/Identity.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "link/ParameterMessages.h"

namespace {

constexpr int kResentNoteMs = 5000;

}  // namespace

QString UnitStateText(bool answering, int pending)
{
    const QString idle = answering ? QStringLiteral("Ready") : QStringLiteral("Unit not answering");
    if (pending == 0) return idle;
    const QString notSent =
        pending == 1 ? QStringLiteral("1 change not sent") : QStringLiteral("%1 changes not sent").arg(pending);
    return answering ? notSent : idle + QStringLiteral(": ") + notSent;
}

UnitStatePane::UnitStatePane(QLabel* pane, QWidget* window) : QObject(pane), pane_(pane), window_(window)
{
    connect(&UnitTasks(), &UnitTaskRunner::answeringChanged, this, [this](bool answering) {
        answering_ = answering;
        Show();
    });
    connect(&UnitTasks(), &UnitTaskRunner::pendingChanged, this, [this](int pending) {
        pending_ = pending;
        Show();
    });
    connect(&UnitTasks(), &UnitTaskRunner::pendingResent, this, &UnitStatePane::TellResent);
    wasConnected_ = model.connected != 0;
    Show();
}

void UnitStatePane::FollowConnection()
{
    const bool disconnected = wasConnected_ && !model.connected;
    wasConnected_ = model.connected != 0;
    if (!disconnected) return;
    answering_ = true;
    Show();
}

void UnitStatePane::Show() { pane_->setText(UnitStateText(answering_, pending_)); }

void UnitStatePane::TellResent(const ResendReport& report)
{
    if (!report.confirmed) return;
    if (report.differing.empty()) {
        if (auto* bar = window_->findChild<QStatusBar*>())
            bar->showMessage(report.sent.size() == 1
                                 ? QStringLiteral("The unit answered again and took the change not sent before.")
                                 : QStringLiteral("The unit answered again and took the %1 changes not sent before.")
                                       .arg(report.sent.size()),
                             kResentNoteMs);
        return;
    }
    QStringList holds;
    for (const std::vector<std::uint8_t>& payload : report.differing)
        if (const auto reading = ReadParameterPayload(payload))
            holds << QString::fromStdString(DescribeParameter(*reading));
    QMessageBox::warning(window_, QString::fromLatin1(kApplicationName),
                         QStringLiteral("The unit answered again and was sent the changes it had missed, but it "
                                        "holds other values:\n%1\nThe pages show the unit's setting.")
                             .arg(holds.join(QLatin1Char('\n'))));
}
