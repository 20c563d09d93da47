#include "memory/DocumentMemories.h"

#include "app/QuenbarDoc.h"
#include "unit/UnitOperations.h"

namespace {

std::string ListName(const QString& typed) { return StoredMemoryName(typed.toLatin1().toStdString()); }

}  // namespace

bool DocumentMemories::Used(int slot) const { return document_.Document().Used(slot); }

QString DocumentMemories::Name(int slot) const { return QString::fromLatin1(document_.Document().Name(slot).c_str()); }

void DocumentMemories::Store(QWidget*, int slot, const QString& name, const MemoryDone& done)
{
    document_.TakeCurrentFromModel();
    document_.Edit([&](MemoryDocument& memories) { memories.Store(slot, ListName(name)); });
    done(MemoryOutcome::Done);
}

void DocumentMemories::Recall(QWidget*, int slot, const MemoryDone& done)
{
    document_.Edit([slot](MemoryDocument& memories) { memories.Recall(slot); });
    document_.ShowCurrentInModel({HistoryEntry::Step, RecallStepLabel(slot, Name(slot))});
    done(MemoryOutcome::Done);
}

void DocumentMemories::Delete(QWidget*, int slot, const MemoryDone& done)
{
    document_.Edit([slot](MemoryDocument& memories) { memories.Delete(slot); });
    done(MemoryOutcome::Done);
}

void DocumentMemories::Rename(int slot, const QString& name)
{
    document_.Edit([&](MemoryDocument& memories) { memories.Rename(slot, ListName(name)); });
}
