#include "OnlineCommands.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include "ChannelJson.h"
#include "CommandError.h"
#include "FieldEdit.h"
#include "LogoLine.h"
#include "MemoryFileAccess.h"
#include "MemoryName.h"
#include "UnitSession.h"
#include "link/ParameterMessages.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

namespace {

using json = nlohmann::ordered_json;

void PrintJson(const json& value) { std::cout << value.dump(2) << '\n'; }

json DumpJson(const ParameterModel& model)
{
    return {{"memories", MemoryDirectoryJson(model)}, {"settings", SettingsJson(model)}, {"values", ValuesJson(model)}};
}

CommandError BadInput(const std::string& message) { return CommandError(kExitBadInput, message); }

// Writes the edit's steps into the model and sends them as the editor
// would, then says what was set.
void ApplyFieldEdit(UnitSession& session, const FieldEdit& edit)
{
    ParameterModel& model = session.model();
    for (const FieldEdit::Assignment& assignment : edit.assignments) assignment.target(model) = assignment.step;
    model.curChannel = edit.slot;
    model.curBand = edit.band;
    if (SendParameter(session.link(), edit.parameterId) != 0)
        throw CommandError(kExitUnitFailed, "The unit did not acknowledge the change.");
    std::cout << DescribeFieldEdit(edit);
}

void RequireSuccess(int result, const char* message)
{
    if (result != 0) throw CommandError(kExitUnitFailed, message);
}

// Where the online commands put what they will run, and the port they use;
// both belong to main() and outlive the parse.
struct OnlineContext {
    std::string& port;
    CommandAction& action;
};

using SessionWork = std::function<void(UnitSession&)>;

// Registers a command whose work runs inside a unit session. `prepare` runs
// first, before the port is opened (argument and file checks), and returns
// the work to do while connected.
CLI::App* AddOnlineCommand(CLI::App& app, OnlineContext context, const std::string& name,
                           const std::string& description, std::function<SessionWork()> prepare)
{
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("--port", context.port, kPortHelp);
    command->callback([context, prepare] {
        context.action = [&port = context.port, prepare] {
            if (port.empty())
                throw BadInput(
                    "This command needs --port DEVICE (COMn, a device path, tcp://HOST:PORT or rfc2217://HOST:PORT).");
            const SessionWork work = prepare();
            UnitSession session(port);
            work(session);
        };
    });
    return command;
}

// Reads every used memory; a memory that cannot be read fails the save
// before anything is written, so an existing file stays as it was.
void SaveUnitMemories(UnitSession& session, const std::string& path)
{
    const UnitMemoryFile read = ReadMemoryFileFromUnit(session.link());
    if (!read.Complete()) throw CommandError(kExitUnitFailed, DescribeUnreadSlots(read.unreadSlots));
    WriteMemoryFile(path, read.bytes);
    std::cout << "Save memory data to File.\n" << path << ": " << DescribeSave(read.bytes) << '\n';
}

void LoadUnitMemories(UnitSession& session, const MemoryFileImage& file)
{
    const LoadFileReport report = LoadMemoryFileIntoUnit(session.link(), file);
    switch (report.result) {
        case LoadFileResult::Loaded:
        case LoadFileResult::Cancelled:
            std::cout << "Load from file ok!\n" << DescribeLoad(report) << '\n';
            return;
        case LoadFileResult::FormatError:
            throw BadInput("File format error!");
        case LoadFileResult::DownloadFailed:
            throw CommandError(kExitUnitFailed, "fail to download program data to unit!\nMemory " +
                                                    std::to_string(report.failedSlot) + " could not be stored.\n" +
                                                    DescribeLoad(report));
    }
}

void RecallUsedMemory(UnitSession& session, int slot)
{
    CheckRecallable(session.model(), slot);
    RequireSuccess(RecallMemorySlot(session.link(), slot), "Fail to read from MCU !");
    PrintJson({{"settings", SettingsJson(session.model())}, {"values", ValuesJson(session.model())}});
}

struct OnlineArgs {
    std::string channel;
    std::vector<std::string> words;
    int slot = 0;
    std::string name;
    std::string path;
    std::string line1;
    std::string line2;
};

}  // namespace

void AddOnlineCommands(CLI::App& app, std::string& port, CommandAction& action)
{
    const OnlineContext context{port, action};
    auto args = std::make_shared<OnlineArgs>();
    const auto add = [&app, context](const std::string& name, const std::string& description, auto prepare) {
        return AddOnlineCommand(app, context, name, description, prepare);
    };

    add("dump", "Print the unit's memory directory and current setting as JSON",
        [] { return [](UnitSession& session) { PrintJson(DumpJson(session.model())); }; });

    CLI::App* set = add("set",
                        "Change one field and print the value set: set CHANNEL FIELD VALUE, set CHANNEL hpf|lpf TYPE "
                        "FREQ, set CHANNEL peq BAND FIELD VALUE",
                        [args] {
                            const FieldEdit edit = ParseFieldEdit(args->channel, args->words);
                            return [edit](UnitSession& session) { ApplyFieldEdit(session, edit); };
                        });
    set->footer(FieldsHelp());
    set->add_option("CHANNEL", args->channel, "lr or sub")->required()->check(CLI::IsMember({"lr", "sub"}));
    set->add_option("FIELD", args->words, "FIELD VALUE, hpf|lpf TYPE FREQ or peq BAND FIELD VALUE")->required();

    CLI::App* store = add("store", "Store the current setting into a memory", [args] {
        CheckStoreName(args->name);
        return [args](UnitSession& session) {
            RequireSuccess(StoreMemorySlot(session.link(), args->slot, args->name), "Fail to store to memory !");
            std::cout << "Stored the current setting in memory " << args->slot << " as \"" << StoreName(args->name)
                      << "\".\n";
        };
    });
    store->add_option("SLOT", args->slot, "memory 1..6")->required()->check(CLI::Range(1, kMemorySlots));
    store->add_option("NAME", args->name, "at most 10 characters")->required();

    CLI::App* recall = add("recall", "Recall a used memory into the unit and print it",
                           [args] { return [args](UnitSession& session) { RecallUsedMemory(session, args->slot); }; });
    recall->add_option("SLOT", args->slot, "memory 1..6")->required()->check(CLI::Range(1, kMemorySlots));

    CLI::App* erase = add("delete", "Erase a memory", [args] {
        return [args](UnitSession& session) {
            RequireSuccess(DeleteMemorySlot(session.link(), args->slot), "Fail to erase from memory!");
            std::cout << "Erased memory " << args->slot << ".\n";
        };
    });
    erase->add_option("SLOT", args->slot, "memory 1..6")->required()->check(CLI::Range(1, kMemorySlots));

    CLI::App* save = add("save", "Save all six memories to a memory file",
                         [args] { return [args](UnitSession& session) { SaveUnitMemories(session, args->path); }; });
    save->add_option("FILE", args->path, "memory file to write")->required();

    CLI::App* load = add("load", "Store the used records of a memory file into the unit", [args] {
        const MemoryFileImage file = ReadLoadableMemoryFile(args->path);
        return [file](UnitSession& session) { LoadUnitMemories(session, file); };
    });
    load->add_option("FILE", args->path, "memory file to read")->required();

    add("reset", "Reset the unit to its factory setting and print what it then holds", [] {
        return [](UnitSession& session) {
            RequireSuccess(ResetUnit(session.link()), "Read current value fail!.");
            PrintJson(DumpJson(session.model()));
        };
    });

    CLI::App* logo = add("logo", "Write the unit's two-line power-on text", [args] {
        CheckLogoLine(args->line1);
        CheckLogoLine(args->line2);
        return [args](UnitSession& session) {
            RequireSuccess(WriteLogo(session.link(), args->line1, args->line2), "商标更改失败");
        };
    });
    logo->add_option("LINE1", args->line1, "first line, at most 20 characters")->required();
    logo->add_option("LINE2", args->line2, "second line, at most 20 characters")->required();
}
