#include "app/EditHistory.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include "app/ModelChanges.h"
#include "app/UnitLink.h"

namespace {

// Keeps a text box from taking the history's keys for its own undo, so the
// window's commands get them.
class HistoryKeysFirst : public QObject {
public:
    HistoryKeysFirst(QObject* parent, QList<QKeySequence> keys) : QObject(parent), keys_(std::move(keys)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride) return false;
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (!keys_.contains(pressed)) return false;
        event->ignore();
        return true;
    }

private:
    QList<QKeySequence> keys_;
};

}  // namespace

EditHistory& TheEditHistory()
{
    static EditHistory history;
    return history;
}

EditHistory::EditHistory() : taken_(model)
{
    connect(&ModelChangeNotifier(), &ModelChanges::changed, this, &EditHistory::TakeEdit);
    qApp->installEventFilter(this);
}

// A new gesture begins with each press of a mouse button or a key (its
// repeats belong to it), and with a turn of the wheel that follows other input.
bool EditHistory::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            ++gesture_;
            wheeled_ = nullptr;
            break;
        case QEvent::KeyPress:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) ++gesture_;
            wheeled_ = nullptr;
            break;
        case QEvent::Wheel:
            if (watched != wheeled_) ++gesture_;
            wheeled_ = watched;
            break;
        default:
            break;
    }
    return false;
}

void EditHistory::TakeEdit()
{
    if (SameSetting(taken_, model)) return;
    history_.Record(taken_, model, {}, gesture_);
    taken_ = model;
    emit changed();
}

void EditHistory::Enter(const HistoryEntry& entry)
{
    switch (entry.kind) {
        case HistoryEntry::Step:
            history_.Record(taken_, model, entry.label.toStdString(), entry.gesture);
            break;
        case HistoryEntry::Follow:
            left_ = taken_;
            break;
        case HistoryEntry::Passing:
            break;
        case HistoryEntry::NewHistory:
            history_.Clear();
            left_.reset();
            break;
        case HistoryEntry::UnitSetting:
            if (SameSetting(taken_, model)) return;
            if (!left_ || !SameSetting(*left_, model)) {
                if (history_.UndoCount() + history_.RedoCount() > 0) emit unitSettingDiffered();
                history_.Clear();
            }
            left_.reset();
            break;
    }
    taken_ = model;
    emit changed();
}

void EditHistory::Apply(const ParameterModel& target, const QString& label)
{
    history_.Record(taken_, target, label.toStdString());
    taken_ = target;
    SendSetting(target);
    emit settingRestored();
    emit changed();
}

bool EditHistory::Undo()
{
    const HistoryStep* step = history_.Undo();
    if (step) Restore(*step, false);
    return step != nullptr;
}

bool EditHistory::Redo()
{
    const HistoryStep* step = history_.Redo();
    if (step) Restore(*step, true);
    return step != nullptr;
}

void EditHistory::Restore(const HistoryStep& step, bool forward)
{
    ParameterModel target = model;
    if (forward)
        PutAfter(target, step.changes);
    else
        PutBefore(target, step.changes);
    taken_ = target;  // before the windows are told, so that it is not taken as an edit
    SendSetting(target);
    emit settingRestored();
    emit changed();
}

QString EditHistory::UndoText() const
{
    const HistoryStep* step = history_.ToUndo();
    return step ? QStringLiteral("Undo %1").arg(QString::fromStdString(step->label)) : QStringLiteral("Undo");
}

QString EditHistory::RedoText() const
{
    const HistoryStep* step = history_.ToRedo();
    return step ? QStringLiteral("Redo %1").arg(QString::fromStdString(step->label)) : QStringLiteral("Redo");
}

std::pair<QAction*, QAction*> EditHistory::AddCommandsTo(QWidget* window)
{
    EditHistory& history = TheEditHistory();
    auto* undo = new QAction(window);
    undo->setShortcut(QKeySequence::Undo);
    auto* redo = new QAction(window);
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(undo, &QAction::triggered, &history, &EditHistory::Undo);
    connect(redo, &QAction::triggered, &history, &EditHistory::Redo);
    // A step's label may hold "&", which a menu would take for a mnemonic.
    const auto menuText = [](QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); };
    const auto follow = [undo, redo, &history, menuText] {
        undo->setText(menuText(history.UndoText()));
        undo->setEnabled(history.Steps().ToUndo() != nullptr);
        redo->setText(menuText(history.RedoText()));
        redo->setEnabled(history.Steps().ToRedo() != nullptr);
    };
    connect(&history, &EditHistory::changed, undo, follow);
    follow();
    window->addAction(undo);
    window->addAction(redo);
    auto* keysFirst = new HistoryKeysFirst(window, undo->shortcuts() + redo->shortcuts());
    for (QLineEdit* box : window->findChildren<QLineEdit*>()) box->installEventFilter(keysFirst);
    return {undo, redo};
}
