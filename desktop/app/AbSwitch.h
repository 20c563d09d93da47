// A and B in the desktop: the setting kept as A or B, the switch between
// them (one step of the edit history, sent as the fields that differ, levels
// down first), and which side is active and whether the setting has drifted
// from it, for the tool bar.
#pragma once

#include <QObject>
#include <QString>

#include "history/AbCompare.h"

class AbSwitch : public QObject {
    Q_OBJECT
public:
    explicit AbSwitch(QObject* parent = nullptr);

    // `model`'s setting as it stands.
    void Keep(AbSide side);
    // Nothing (false) while the side keeps nothing.
    bool SwitchTo(AbSide side);
    // To the side not active (A when none is), or to the one side kept.
    bool SwitchOver();

    const AbCompare& Sides() const { return sides_; }
    bool Drifted() const;
    // "A", or "A*" once the setting has drifted from the active side A.
    QString Caption(AbSide side) const;

signals:
    // What is kept, the active side or the drift may have changed.
    void changed();

private:
    AbCompare sides_;
};
