// The desktop's history of the setting (history/SettingHistory.h) and its
// Undo and Redo commands.
//
// Every change of `model` the windows are told of (ModelChanges.h) that an
// edit made becomes a step; what one mouse press, one key press (with its
// repeats) or one turn of the wheel on a control does is one step, so a drag
// of a slider or a held arrow button is a single step. A change that no
// edit made (an operation's end, the document shown) is entered by whoever
// made it, before the windows are told (Enter).
//
// Undo and redo put the step's values into `model` through SendSetting: the
// unit gets the messages of the fields that differ from what it holds, or,
// not connected, the document takes the setting, and its modified mark
// follows (back at the saved setting, the mark goes).
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "history/SettingHistory.h"
#include "model/Model.h"

class QAction;

// How a change of `model` that no edit made enters the history.
struct HistoryEntry {
    enum Kind {
        Step,        // a step named `label`: a recall, a reset
        Follow,      // no step: the pages show another setting (the document's after a disconnect)
        Passing,     // no step: a change that is put back by whoever made it (a measurement's mutes)
        NewHistory,  // a new history starts (a new document)
        // The unit's own setting (a connect, a read-back): a new history
        // unless it is the window's, or the one the window left at the last Follow.
        UnitSetting,
    };
    Kind kind = UnitSetting;
    QString label{};
    // A Step: steps of one gesture merge while the newest (a tuning's passes
    // are one step). Negative, so that it is none of the input's gestures.
    long gesture = SettingHistory::kNoGesture;
};

class EditHistory : public QObject {
    Q_OBJECT
public:
    // Takes the change of `model` made just now, before the windows are told of it.
    void Enter(const HistoryEntry& entry);

    // `model` takes the setting of `target` at once, by a command (an A/B
    // switch): one step named `label`, sent as SendSetting sends it.
    void Apply(const ParameterModel& target, const QString& label);

    // Each does nothing (and returns false) when there is no step.
    bool Undo();
    bool Redo();

    // "Undo Level Left & Right −3.5 dB"; "Undo" and "Redo" when there is nothing.
    QString UndoText() const;
    QString RedoText() const;

    const SettingHistory& Steps() const { return history_; }

    // Undo and Redo as commands of `window` with their shortcuts (Ctrl+Z;
    // Ctrl+Shift+Z and Ctrl+Y), their texts naming the step and enabled
    // only when there is one. The keys undo the setting's step even in the
    // window's text boxes (those that exist now), not the typing.
    static std::pair<QAction*, QAction*> AddCommandsTo(QWidget* window);

signals:
    // The steps, or where the setting stands among them, changed.
    void changed();
    // An undo, a redo or Apply has put values into `model`: forms that
    // show fields read them again.
    void settingRestored();
    // The unit was found holding another setting than the window showed;
    // the history that led to the window's setting is gone.
    void unitSettingDiffered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend EditHistory& TheEditHistory();
    EditHistory();

    void TakeEdit();
    void Restore(const HistoryStep& step, bool forward);

    SettingHistory history_;
    ParameterModel taken_;                // `model`'s setting as the history last took it
    std::optional<ParameterModel> left_;  // the setting the last Follow left, until the unit's is seen
    long gesture_ = 0;                    // the press or wheel turn that edits now belong to
    QObject* wheeled_ = nullptr;          // the control the last turn of the wheel went to, if it was the last input
};

// The program's one history, made on the GUI thread at first use.
EditHistory& TheEditHistory();
