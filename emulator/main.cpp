// rx74-emulator: an emulated RX7.4 unit on a pseudo-terminal. Prints the
// device to open, serves it until SIGINT or SIGTERM, then exits cleanly.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "QuenbarVersion.h"
#include "emulator/Emulator.h"

namespace {

struct Options {
    EmulatorFaults faults;
    std::string linkPath;
    std::string statePath;
    bool verbose = false;
};

void AddFaultOptions(CLI::App& app, EmulatorFaults& faults)
{
    app.add_flag("--silent", faults.silent, "Answer nothing at all");
    app.add_flag("--no-ack", faults.noFrameAck, "Answer attention bytes but no frame");
    app.add_flag("--wrong-connect", faults.wrongConnectReply, "Start the connect answer with a wrong byte");
    app.add_option("--split", faults.splitGapMs, "Write replies one byte at a time, GAP_MS apart (default 2)")
        ->expected(0, 1)
        ->check(CLI::Range(0, 10000));
    app.add_flag("--garbage", faults.garbageBeforeAck, "Send junk bytes before every acknowledgement");
    app.add_option("--delay", faults.replyDelayMs, "Wait MS before every reply")->check(CLI::Range(0, 60000));
    app.add_option("--hang-up-after", faults.hangUpAfterExchanges,
                   "Close the line after N answered frames (when the program next sends)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--pace", faults.paceBaud, "Send and receive at BAUD (10 bits per byte)")
        ->check(CLI::Range(300, 4000000));
}

// Dumps traffic as hex lines: "<" from the program, ">" from the unit.
void DumpTraffic(bool incoming, const std::uint8_t* bytes, std::size_t n)
{
    static std::mutex dumpMutex;
    std::lock_guard lock(dumpMutex);
    std::fputs(incoming ? "<" : ">", stderr);
    for (std::size_t i = 0; i < n; ++i) std::fprintf(stderr, " %02x", bytes[i]);
    std::fputc('\n', stderr);
}

// Points `linkPath` at the device; an old symlink there is replaced, anything else is kept.
bool MakeLink(const std::string& device, const std::string& linkPath)
{
    struct stat existing {};
    if (::lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) return false;
        ::unlink(linkPath.c_str());
    }
    return ::symlink(device.c_str(), linkPath.c_str()) == 0;
}

sigset_t StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void WaitForTermination()
{
    const sigset_t signals = StopSignals();
    int received = 0;
    sigwait(&signals, &received);
}

int Run(const Options& options)
{
    Rx74Emulator unit(options.faults);
    if (!options.statePath.empty() && ::access(options.statePath.c_str(), F_OK) == 0 &&
        !unit.LoadState(options.statePath)) {
        std::cerr << "rx74-emulator: " << options.statePath << " is not a state file\n";
        return 1;
    }
    if (!options.statePath.empty()) unit.OnStateChanged([&unit, &options] { unit.SaveState(options.statePath); });
    if (options.verbose) unit.OnTraffic(DumpTraffic);
    if (!unit.Start()) {
        std::cerr << "rx74-emulator: cannot open a pseudo-terminal\n";
        return 1;
    }
    if (!options.linkPath.empty() && !MakeLink(unit.DevicePath(), options.linkPath)) {
        std::cerr << "rx74-emulator: cannot make the link " << options.linkPath << "\n";
        return 1;
    }
    std::cout << unit.DevicePath() << std::endl;

    WaitForTermination();
    unit.Stop();
    if (!options.linkPath.empty()) ::unlink(options.linkPath.c_str());
    if (!options.statePath.empty() && !unit.SaveState(options.statePath)) {
        std::cerr << "rx74-emulator: cannot save " << options.statePath << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Emulated RX7.4 unit on a pseudo-terminal; prints the device to open"};
    app.set_version_flag("--version", std::string("rx74-emulator ") + kQuenbarVersion);
    Options options;
    AddFaultOptions(app, options.faults);
    app.add_option("--link", options.linkPath, "Also make a symlink PATH to the device (removed at exit)");
    app.add_option("--state", options.statePath, "Keep memories, current setting and logo in FILE between runs");
    app.add_flag("--verbose", options.verbose, "Hex dump of the traffic on stderr");
    CLI11_PARSE(app, argc, argv);
    options.faults.splitReplies = app.count("--split") > 0;

    // Block the stop signals before any thread starts, so that only
    // WaitForTermination receives them.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return Run(options);
}
