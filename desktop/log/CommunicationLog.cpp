#include "log/CommunicationLog.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextStream>
#include <QVBoxLayout>

#include "app/ErrorBox.h"
#include "link/Link.h"
#include "log/TrafficLogModel.h"

CommunicationLog::CommunicationLog(Link& link, QWidget* parent) : QWidget(parent, Qt::Window), link_(link)
{
    setWindowTitle(QStringLiteral("Communication Log"));
    entries_ = new TrafficLogModel(this);
    table_ = new QTableView(this);
    table_->setModel(entries_);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->setColumnWidth(TrafficLogModel::Time, 80);
    table_->setColumnWidth(TrafficLogModel::Direction, 30);
    table_->setColumnWidth(TrafficLogModel::Bytes, 260);

    auto* clear = new QPushButton(QStringLiteral("&Clear"), this);
    pause_ = new QPushButton(QStringLiteral("&Pause"), this);
    pause_->setCheckable(true);
    auto* save = new QPushButton(QStringLiteral("&Save As..."), this);
    connect(clear, &QPushButton::clicked, this, &CommunicationLog::Clear);
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) { Listen(!paused && isVisible()); });
    connect(save, &QPushButton::clicked, this, &CommunicationLog::AskAndSave);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {clear, pause_, save}) buttons->addWidget(button);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(760, 420);
}

CommunicationLog::~CommunicationLog() { Listen(false); }

void CommunicationLog::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Listen(!pause_->isChecked());
}

void CommunicationLog::hideEvent(QHideEvent* event)
{
    // A minimised log keeps listening; a closed one does not.
    if (!event->spontaneous()) Listen(false);
    QWidget::hideEvent(event);
}

void CommunicationLog::Listen(bool listening) { link_.SetTrafficObserver(listening ? this : nullptr); }

// On the link's threads: hand a copy to the window's thread. Events still
// queued when the window goes are dropped with it.
void CommunicationLog::OnTraffic(const TrafficEvent& event)
{
    QMetaObject::invokeMethod(
        this, [this, event] { Take(event); }, Qt::QueuedConnection);
}

void CommunicationLog::Take(const TrafficEvent& event)
{
    QScrollBar* scroll = table_->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    entries_->Append(decoder_.Decode(event));
    // Follows the newest entry unless the person scrolled back to read.
    if (atEnd) table_->scrollToBottom();
}

void CommunicationLog::Clear()
{
    entries_->Clear();
    decoder_.Restart();
}

bool CommunicationLog::SaveTo(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    for (const TrafficLine& line : entries_->Entries()) out << QString::fromStdString(FormatTrafficLine(line)) << '\n';
    out.flush();
    return file.error() == QFile::NoError;
}

void CommunicationLog::AskAndSave()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Communication Log"),
                                                      QStringLiteral("communication-log.txt"),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty() && !SaveTo(path)) ShowErrorBox(this, QStringLiteral("%1 cannot be written.").arg(path));
}

CommunicationLog* ShowCommunicationLog(QWidget* mainWindow, Link& link)
{
    auto* log = mainWindow->findChild<CommunicationLog*>(QString(), Qt::FindDirectChildrenOnly);
    if (!log) log = new CommunicationLog(link, mainWindow);
    log->show();
    log->raise();
    log->activateWindow();
    return log;
}
