// Where the six memories the memory dialog works on live: in the unit
// (UnitMemories), or in the open document while no unit is connected
// (DocumentMemories). The dialog asks the place for the list and hands it
// the commands; the place says how each ended.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// The edit history's name for a recall: "Recall memory 2 (Kick)".
inline QString RecallStepLabel(int slot, const QString& name)
{
    const QString trimmed = name.trimmed();
    const QString memory = QStringLiteral("Recall memory %1").arg(slot);
    return trimmed.isEmpty() ? memory : QStringLiteral("%1 (%2)").arg(memory, trimmed);
}

enum class MemoryOutcome { Done, Failed, Cancelled };
using MemoryDone = std::function<void(MemoryOutcome)>;

// The commands a place offers beyond Store and Recall.
struct MemoryPlaceCommands {
    bool renameAndDelete = false;
    bool fileTransfers = false;  // Open File and Save File: all memories to and from a file
};

class MemoryPlace {
public:
    virtual ~MemoryPlace() = default;

    virtual MemoryPlaceCommands Commands() const = 0;

    // Memory `slot` 1..6.
    virtual bool Used(int slot) const = 0;
    virtual QString Name(int slot) const = 0;

    // Each command ends through `done`, possibly after the call returned;
    // `owner` is the window that started it (done is dropped if it is
    // destroyed before the command ends).
    // The current setting into `slot` under the typed name.
    virtual void Store(QWidget* owner, int slot, const QString& name, const MemoryDone& done) = 0;
    // The memory becomes the current setting.
    virtual void Recall(QWidget* owner, int slot, const MemoryDone& done) = 0;
    virtual void Delete(QWidget* owner, int slot, const MemoryDone& done) = 0;
    // Only places whose Commands() list it are asked to rename; the others
    // keep the names they have.
    virtual void Rename(int slot, const QString& name)
    {
        (void)slot;
        (void)name;
    }
};
