// What a measurement is asked to do, in the one shape every face fills in,
// and the ranges its settings must stay within. The faces draw their
// controls' ranges and their refusals' words from here: a value one face
// takes, every face takes.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "MeasuredOutput.h"
#include "Sweep.h"

struct MeasureSettings {
    std::vector<MeasuredOutput> outputs{MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub,
                                        MeasuredOutput::System};
    std::string playDevice;    // empty: the system's default output
    std::string recordDevice;  // empty: the default input
    int microphoneChannel = 1;            // 1-based
    std::optional<int> loopbackChannel;   // 1-based: an input wired to the output's channel 1
    SweepSettings sweep;                  // its rate is the stream's
    // Before each sweep, while its mutes are set: the noise floor. None:
    // each output's own (NoiseSeconds).
    std::optional<double> silenceSeconds;
    // After each sweep, before the next silence: its sound dies down at the
    // microphone. Its low end has died down long before, while the sweep
    // rose on (a low band alone has stopped sounding half-way through it).
    // The next output's mutes wait until its sound has come back at the
    // microphone (so it has left the unit), whatever the tail.
    double tailSeconds = 0.15;
    // How long the room rings on after a sweep, as an earlier sequence in
    // the same room followed it (MeasurementResult::roomTailSeconds): every
    // sweep gets that tail, none waits to follow the room again. None: the
    // first sweep's shows it.
    std::optional<double> roomTailSeconds;
    // Microphone positions, each measured with the same outputs, the
    // person awaited between them (PositionsMeasurement.h); 1 is a single
    // sequence.
    int positions = 1;
};

// A sweep's length. Ten seconds already buy 7 dB of signal to noise over
// the default two; longer ones grow the recording held for the whole
// sequence (every sweep may be played three times, each with a room's
// longest tail) and let the room drift while one sweep plays (air moving,
// the temperature changing), which blurs the high end's phase.
inline constexpr double kShortestSweepSeconds = 0.5;
inline constexpr double kLongestSweepSeconds = 10.0;
inline constexpr std::array kMeasureRates{44100, 48000, 96000};
// Quieter than this, a sweep drowns in an ordinary room's noise; louder than
// kSweepLoudDbfs it needs allowLoud, and never above full scale.
inline constexpr double kQuietestSweepDbfs = -60.0;
// Enough to cover an audience's area; every position is held in memory
// with its whole response until the last is measured.
inline constexpr int kMostPositions = 8;

// The settings a face lets the person set; each face has its own name for them.
enum class MeasureField { Outputs, MicrophoneChannel, LoopbackChannel, Level, Length, Rate, Positions };

// A setting outside its range: which one, and its range in words ("The
// sweep's length is 0.5 to 10 s: 45 is not.").
class SettingError : public std::invalid_argument {
public:
    SettingError(MeasureField field, const std::string& message);
    MeasureField field() const { return field_; }

private:
    MeasureField field_;
};

// The range of a field in words, for a face's help and for a value of the
// wrong kind: "left, right, sub and system, each once", "0.5 to 10 s".
std::string RangeText(MeasureField field);

// The outputs of a list as "left,sub"; SettingError for a list that is
// empty, repeats an output or names another.
std::vector<MeasuredOutput> OutputsOfList(const std::string& list);
// The list's text of outputs, as OutputsOfList reads it.
std::string OutputListText(const std::vector<MeasuredOutput>& outputs);

// Throws SettingError for the first setting out of its range.
void CheckMeasureSettings(const MeasureSettings& settings);
