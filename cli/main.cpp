// quenbar-cli: memory files without a unit, and the unit over its serial line.
#include <iostream>

#include <CLI/CLI.hpp>

#include "CliError.h"
#include "OfflineCommands.h"
#include "OnlineCommands.h"
#include "ReportCommand.h"

int main(int argc, char** argv)
{
    CLI::App app{"Quenbar command line: memory files and the RX7.4 unit"};
    app.require_subcommand(1);
    std::string port;
    app.add_option("--port", port, "serial port of the unit: COMn or a device path");

    CommandAction action;
    AddOfflineCommands(app, action);
    AddOnlineCommands(app, port, action);
    AddReportCommand(app, action);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitDone : kExitBadInput;
    }
    try {
        action();
    } catch (const CliError& e) {
        std::cerr << e.what() << '\n';
        return e.ExitCode();
    }
    return kExitDone;
}
