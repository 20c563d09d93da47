#include "memory/UnitMemories.h"

#include "app/UnitLink.h"
#include "app/UnitTasks.h"

namespace {

// A unit operation's result (0 done) as the dialog's outcome.
std::function<void(const int&)> Ending(const MemoryDone& done)
{
    return [done](const int& result) {
        if (UnitTasks().Cancelled())
            done(MemoryOutcome::Cancelled);
        else
            done(result == 0 ? MemoryOutcome::Done : MemoryOutcome::Failed);
    };
}

}  // namespace

UnitMemories& TheUnitMemories()
{
    static UnitMemories memories;
    return memories;
}

bool UnitMemories::Used(int slot) const { return model.memUsed[slot - 1] != 0; }

QString UnitMemories::Name(int slot) const { return QString::fromLatin1(model.memName[slot - 1]); }

void UnitMemories::Store(QWidget* owner, int slot, const QString& name, const MemoryDone& done)
{
    UnitTasks().Start<int>(
        owner, {QStringLiteral("Storing memory %1 in the unit...").arg(slot)},
        [slot, name = name.toLatin1().toStdString()](Link& link, const SlotProgress&) {
            return StoreMemorySlot(link, slot, name);
        },
        Ending(done));
}

void UnitMemories::Recall(QWidget* owner, int slot, const MemoryDone& done)
{
    UnitTasks().Start<int>(
        owner,
        {QStringLiteral("Recalling memory %1 from the unit...").arg(slot),
         false,
         {HistoryEntry::Step, RecallStepLabel(slot, Name(slot))}},
        [slot](Link& link, const SlotProgress&) { return RecallMemorySlot(link, slot); }, Ending(done));
}

void UnitMemories::Delete(QWidget* owner, int slot, const MemoryDone& done)
{
    UnitTasks().Start<int>(
        owner, {}, [slot](Link& link, const SlotProgress&) { return DeleteMemorySlot(link, slot); }, Ending(done));
}
