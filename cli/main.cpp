// quenbar-cli: memory files without a unit, and the unit over its serial line.
#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <CLI/CLI.hpp>

#include "CommandError.h"
#include "EqCommands.h"
#include "MeasureCommands.h"
#include "OfflineCommands.h"
#include "OnlineCommands.h"
#include "PortCommands.h"
#include "PresetCommands.h"
#include "QuenbarVersion.h"
#include "Trace.h"
#if QUENBAR_SERVE
#include "ServeCommand.h"
#endif
#ifdef QUENBAR_REPORT_COMMAND
#include "ReportCommand.h"
#endif
#include "WatchCommand.h"

int main(int argc, char** argv)
{
#ifdef _WIN32
    // The same bytes as on every other platform: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    CLI::App app{"Quenbar command line: memory files and the RX7.4 unit"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quenbar-cli ") + kQuenbarVersion);
    // Options are --name on every platform: an argument such as
    // /shows/live.cmf is a path on Windows too, not an option.
    app.allow_windows_style_options(false);
    std::string port;
    app.add_option("--port", port, kPortHelp);

    CommandAction action;
    AddOfflineCommands(app, action);
    AddOnlineCommands(app, port, action);
    AddPresetCommands(app, action);
    AddPortCommands(app, action);
    AddEqCommands(app, port, action);
    AddMeasureCommands(app, port, action);
#if QUENBAR_SERVE
    AddServeCommand(app, port, action);
#endif
    app.add_flag_callback("--trace", TraceUnitSessions, "Write the traffic with the unit, decoded, to standard error");
#ifdef QUENBAR_REPORT_COMMAND
    AddReportCommand(app, action);
#endif
    AddWatchCommand(app, action);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitDone : kExitBadInput;
    }
    try {
        action();
    } catch (const CommandError& e) {
        std::cerr << e.what() << '\n';
        return e.ExitCode();
    }
    return kExitDone;
}
