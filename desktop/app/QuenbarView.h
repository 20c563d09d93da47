// The main view: the unit's signal chain as a block diagram on black. The
// upper row of blocks is the Left&Right chain, the lower the Sub chain;
// every block opens the channel settings sheet on its row's channel. The
// view also runs the Config menu's commands.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>
#include <vector>

class CLabelButton;
class MemoryPlace;
class CRoundButton;
class QKeyEvent;

class CQuenbarView : public QWidget {
    Q_OBJECT
public:
    explicit CQuenbarView(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The channel slot a block opens (0 or 2), or -1 for any other control id.
    static int SlotOfBlock(int controlId);

    // The control with the given id, or nullptr.
    QWidget* Control(int controlId) const;

    // The blocks open no sheet while the unit is busy: the setting they would
    // show is about to change. (The view itself stays enabled: the dialogs it
    // owns would be disabled with it.)
    void SetBlocksEnabled(bool enabled);

    // The memories the Memory command works on while no unit is connected
    // (the unit's picture of its own when none are given).
    void SetOfflineMemories(MemoryPlace* place) { offlineMemories_ = place; }

public slots:
    // Connect and Disconnect start their operation on the unit and return;
    // connectionChanged follows once it has ended.
    void OnConnect();
    void OnDisconnect();
    void OnRs232();
    void OnMemory();

signals:
    // Connect or Disconnect ended: the commands' enable states may change.
    void connectionChanged();
    // A block's channel settings sheet was closed: the setting may have changed.
    void channelSettingsClosed();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateBlocks();
    void CreateLabels();
    void CreateSignalLines();
    void AddControl(QWidget* control, int controlId);

    std::vector<QPushButton*> blocks_;
    CRoundButton* mix_ = nullptr;
    std::array<CLabelButton*, 5> labels_{};
    MemoryPlace* offlineMemories_ = nullptr;
};

// Ctrl+D is discarded before it reaches the view or any of its controls.
bool IsSwallowedViewKey(const QKeyEvent& event);
