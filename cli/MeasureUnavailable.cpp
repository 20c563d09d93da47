// The measurement's commands in a build without the measurement (the Windows
// build: Debian has no RtAudio, KissFFT or libsndfile for it).
#include "CommandError.h"
#include "MeasureCommands.h"

namespace {

[[noreturn]] void Unavailable()
{
    throw CommandError(kExitMeasureFailed, "Measuring is not available in this build (Windows) yet: use the Linux one.");
}

}  // namespace

void AddMeasureCommands(CLI::App& app, std::string&, CommandAction& action)
{
    for (const char* name : {"audio", "measure", "tune"}) {
        CLI::App* command = app.add_subcommand(name, "Not available in this build");
        command->allow_extras();
        command->callback([&action] { action = [] { Unavailable(); }; });
    }
}
