// The open document's memories, worked on while no unit is connected: each
// command changes the document at once and sends nothing.
#pragma once

#include "memory/MemoryPlace.h"

class CQuenbarDoc;

class DocumentMemories : public MemoryPlace {
public:
    explicit DocumentMemories(CQuenbarDoc& document) : document_(document) {}

    MemoryPlaceCommands Commands() const override { return {.renameAndDelete = true, .fileTransfers = false}; }
    bool Used(int slot) const override;
    QString Name(int slot) const override;
    // The name is the one a store into the unit would leave in its list.
    void Store(QWidget* owner, int slot, const QString& name, const MemoryDone& done) override;
    // The memory becomes the current setting the pages show.
    void Recall(QWidget* owner, int slot, const MemoryDone& done) override;
    void Delete(QWidget* owner, int slot, const MemoryDone& done) override;
    void Rename(int slot, const QString& name) override;

private:
    CQuenbarDoc& document_;
};
