// The unit's memories, as the program pictures them (the model's memUsed
// and memName); each command runs on the unit off the GUI thread
// (UnitTasks.h).
#pragma once

#include "memory/MemoryPlace.h"

class UnitMemories : public MemoryPlace {
public:
    MemoryPlaceCommands Commands() const override { return {.renameAndDelete = false, .fileTransfers = true}; }
    bool Used(int slot) const override;
    QString Name(int slot) const override;
    void Store(QWidget* owner, int slot, const QString& name, const MemoryDone& done) override;
    void Recall(QWidget* owner, int slot, const MemoryDone& done) override;
    void Delete(QWidget* owner, int slot, const MemoryDone& done) override;
};

// The program's one picture of the unit's memories.
UnitMemories& TheUnitMemories();
