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

void ListAudioDevicesCommand(bool) { Unavailable(); }

void MeasureCommand(const std::string&, const MeasureArgs&) { Unavailable(); }

void TuneCommand(const std::string&, const TuneArgs&) { Unavailable(); }
