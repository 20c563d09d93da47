// Watches the relation between a stream's playback and its recording as
// the sound server accounts for it: where its playback is being read
// against where its recording is being written, in frames, sampled every
// 50 ms or so. It stays the same while neither end loses a
// frame unsaid; PipeWire's server drops a recording's frames now and then
// (256 or more at once) without a hole for the client, and everything
// recorded after comes that much earlier against what was played.
//
// The samples are taken in windows of four. A window counts only where the
// server's accounting is exact (its samples within kCleanFrames of each
// other, as PipeWire's are to a frame; PulseAudio's move by blocks, and it
// reports its holes itself); a clean window whose mean stands at least
// kSlipFrames off the relation, and a second one that agrees, is a slip.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class RelationWatch {
public:
    static constexpr double kCleanFrames = 32.0;
    static constexpr double kSlipFrames = 64.0;

    // The relation as the server gave it now. Returns a slip once it is
    // sure of it: how many frames the relation moved (above 0, the
    // recording lost that many), from then on the relation.
    std::optional<std::int64_t> Note(double relation);
    // False while a server whose accounting has been exact shows a window
    // that is not, or a look or a window off the relation: a slip may be on
    // its way.
    bool Settled() const { return !relation_ || (lastClean_ && !suspect_ && !off_); }

private:
    std::optional<std::int64_t> CloseWindow();

    std::vector<double> window_;
    std::optional<double> relation_;
    std::optional<double> suspect_;
    bool lastClean_ = true;
    bool off_ = false;  // the last look stood off the relation  // a clean window's mean off the relation, not yet confirmed
    static constexpr std::size_t kWindow = 4;
};
