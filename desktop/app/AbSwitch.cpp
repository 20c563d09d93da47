#include "app/AbSwitch.h"

#include "app/EditHistory.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"

AbSwitch::AbSwitch(QObject* parent) : QObject(parent)
{
    connect(&ModelChangeNotifier(), &ModelChanges::changed, this, &AbSwitch::changed);
}

void AbSwitch::Keep(AbSide side)
{
    sides_.Keep(side, model);
    emit changed();
}

bool AbSwitch::SwitchTo(AbSide side)
{
    const std::optional<ParameterModel> target = sides_.SwitchTo(side, model);
    if (!target) return false;
    TheEditHistory().Apply(*target, QStringLiteral("Switch to %1").arg(QString::fromLatin1(AbSideName(side))));
    emit changed();
    return true;
}

bool AbSwitch::SwitchOver()
{
    const AbSide other = sides_.Active() == AbSide::A ? AbSide::B : AbSide::A;
    return SwitchTo(sides_.Kept(other) ? other : (other == AbSide::A ? AbSide::B : AbSide::A));
}

bool AbSwitch::Drifted() const { return sides_.Drifted(model); }

QString AbSwitch::Caption(AbSide side) const
{
    const QString name = QString::fromLatin1(AbSideName(side));
    return sides_.Active() == side && Drifted() ? name + QLatin1Char('*') : name;
}
