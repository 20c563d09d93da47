// rx74-emulator: an emulated RX7.4 unit on a pseudo-terminal. Prints the
// device to open, serves it until SIGINT or SIGTERM, then exits cleanly.
// With --audio it also sounds as the unit does, into an emulated room whose
// microphone moves to the next position on SIGUSR1 or to position K on a
// line "K" on standard input (an empty line: the next);
// --room-truth prints what that room's microphone hears and exits.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

#include "QuenbarVersion.h"
#include "emulator/Emulator.h"
#include "emulator/audio/AudioPath.h"
#include "emulator/audio/RoomFile.h"
#include "emulator/audio/RoomTruth.h"
#ifdef RX74_WITH_PULSE
#include "emulator/audio/PulseAudioLoop.h"
#endif

namespace {

struct Options {
    EmulatorFaults faults;
    std::string linkPath;
    std::string statePath;
    bool verbose = false;
    bool audio = false;
    bool roomTruth = false;
    std::string roomPath;
    std::string source = "quenbar_out.monitor", sink = "quenbar_mic";
    int blockFrames = 256;
    double leadMs = 150.0;
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

// The signals the main thread waits for: the two that stop it, and the one
// that moves the microphone.
sigset_t WaitedSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    return signals;
}

// The room of --room, or the default one; false after saying why not.
bool LoadRoom(const Options& options, rx74emu::Room& room)
{
    if (options.roomPath.empty()) return true;
    auto read = rx74emu::ReadRoomFile(options.roomPath);
    if (auto* error = std::get_if<std::string>(&read)) {
        std::cerr << "rx74-emulator: " << *error << "\n";
        return false;
    }
    room = std::get<rx74emu::Room>(read);
    return true;
}

// --audio: the unit's sound in the room, following the unit's setting.
class Sound {
public:
    bool Start(const Options& options, const rx74emu::Room& room, Rx74Emulator& unit)
    {
#ifdef RX74_WITH_PULSE
        path_ = std::make_unique<rx74emu::AudioPath>(room, unit.CurrentImage());
        loop_ = std::make_unique<rx74emu::PulseAudioLoop>(*path_, [&unit] { return unit.CurrentImage(); });
        if (loop_->Start({options.source, options.sink, options.blockFrames, options.leadMs})) return true;
        std::cerr << "rx74-emulator: " << loop_->Error() << "\n";
#else
        (void)options, (void)room, (void)unit;
        std::cerr << "rx74-emulator: built without PulseAudio, so without --audio\n";
#endif
        return false;
    }
    void Stop()
    {
#ifdef RX74_WITH_PULSE
        if (loop_) loop_->Stop();
#endif
    }
    // `position` 0: the next one, after the last the first. Says where the
    // microphone is now, or why it did not move.
    void MoveMicrophone(int position)
    {
#ifdef RX74_WITH_PULSE
        const std::lock_guard lock(moveMutex_);
        const int count = path_->Positions();
        if (position == 0) position = path_->Position() % count + 1;
        if (path_->MoveMicrophone(position))
            std::cerr << "rx74-emulator: the microphone is at position " << position << " of " << count << std::endl;
        else
            std::cerr << "rx74-emulator: the room has positions 1 to " << count << std::endl;
#else
        (void)position;
#endif
    }
    // Each line of standard input moves the microphone, on a thread of its
    // own until the input ends.
    void FollowInput()
    {
        std::thread([this] {
            for (std::string line; std::getline(std::cin, line);) {
                const auto digits = line.find_first_not_of(" \t\r");
                try {
                    MoveMicrophone(digits == std::string::npos ? 0 : std::stoi(line.substr(digits)));
                } catch (const std::exception&) {
                    std::cerr << "rx74-emulator: a line is a position's number, or empty for the next" << std::endl;
                }
            }
        }).detach();
    }

private:
#ifdef RX74_WITH_PULSE
    std::unique_ptr<rx74emu::AudioPath> path_;
    std::unique_ptr<rx74emu::PulseAudioLoop> loop_;
    std::mutex moveMutex_;
#endif
};

// Until SIGINT or SIGTERM; SIGUSR1 moves the microphone on.
void WaitForTermination(Sound& sound, bool audio)
{
    const sigset_t signals = WaitedSignals();
    for (int received = 0; sigwait(&signals, &received) == 0 && received == SIGUSR1;)
        if (audio) sound.MoveMicrophone(0);
}

// --room-truth: the room's responses for the setting of --state (the
// factory's without one).
int PrintRoomTruth(const Options& options, const rx74emu::Room& room)
{
    rx74emu::UnitState state;
    if (!options.statePath.empty() && ::access(options.statePath.c_str(), F_OK) != 0) {
        std::cerr << "rx74-emulator: " << options.statePath << " does not exist\n";
        return 1;
    }
    if (!options.statePath.empty() && !state.Load(options.statePath)) {
        std::cerr << "rx74-emulator: " << options.statePath << " is not a state file\n";
        return 1;
    }
    std::cout << rx74emu::RoomTruthJson(room, state.current) << std::endl;
    return 0;
}

int Run(const Options& options)
{
    rx74emu::Room room = rx74emu::DefaultRoom();
    if (!LoadRoom(options, room)) return 1;
    if (options.roomTruth) return PrintRoomTruth(options, room);

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
    Sound sound;
    if (options.audio && !sound.Start(options, room, unit)) return 1;
    std::cout << unit.DevicePath() << std::endl;

    if (options.audio) sound.FollowInput();
    WaitForTermination(sound, options.audio);
    sound.Stop();
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
    app.add_flag("--audio", options.audio,
                 "Sound as the unit does: its inputs from --audio-in, the room's microphone into --audio-out; "
                 "SIGUSR1 or an empty line on standard input moves the microphone to the room's next position, "
                 "a line K to position K");
    app.add_option("--room", options.roomPath, "The room of --audio and --room-truth (JSON; default: built in)");
    app.add_option("--audio-in", options.source, "The sound device of the unit's two inputs")->capture_default_str();
    app.add_option("--audio-out", options.sink,
                   "The sound device of the microphone (channel 1) and the loopback of input 1 (channel 2)")
        ->capture_default_str();
    app.add_option("--block", options.blockFrames, "Frames per audio block")
        ->capture_default_str()
        ->check(CLI::Range(16, 8192));
    app.add_option("--lead", options.leadMs,
                   "Milliseconds the room's sound is played ahead of the unit's inputs: less is nearer a unit's "
                   "own latency, more rides out a busy machine")
        ->capture_default_str()
        ->check(CLI::Range(20.0, 1000.0));
    app.add_flag("--room-truth", options.roomTruth,
                 "Print what the room's microphone hears from each output with the setting of --state, at each "
                 "of its positions, as JSON, and exit");
    CLI11_PARSE(app, argc, argv);
    options.faults.splitReplies = app.count("--split") > 0;

    // Block the waited signals before any thread starts, so that only
    // WaitForTermination receives them.
    const sigset_t signals = WaitedSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return Run(options);
}
