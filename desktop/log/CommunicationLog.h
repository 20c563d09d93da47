// The Communication Log window (View menu): every exchange with the unit,
// with its time stamp, direction, bytes and meaning, decoded as it comes.
// It can be cleared, paused and saved as a text file.
//
// The window listens to the link only while it is shown and not paused:
// closed, it costs the link nothing. The link reports from its stepping
// and receive threads; each event is handed to the window's thread and
// decoded there, in order.
#pragma once

#include <QWidget>

#include "link/LinkTraffic.h"
#include "link/TrafficDecoder.h"

class Link;
class QPushButton;
class QTableView;
class TrafficLogModel;

class CommunicationLog : public QWidget, private TrafficObserver {
    Q_OBJECT
public:
    explicit CommunicationLog(Link& link, QWidget* parent = nullptr);
    ~CommunicationLog() override;

    TrafficLogModel* Entries() const { return entries_; }
    QPushButton* PauseButton() const { return pause_; }
    // Writes every entry as one text line; false when the file cannot be written.
    bool SaveTo(const QString& path) const;
    void Clear();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnTraffic(const TrafficEvent& event) override;
    void Take(const TrafficEvent& event);
    void Listen(bool listening);
    void AskAndSave();

    Link& link_;
    TrafficDecoder decoder_;
    TrafficLogModel* entries_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* pause_ = nullptr;
};

// Shows the main window's log window, making it the first time.
CommunicationLog* ShowCommunicationLog(QWidget* mainWindow, Link& link);
