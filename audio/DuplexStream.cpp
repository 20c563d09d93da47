#include "DuplexStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr std::chrono::seconds kFlowTimeout{5};

void RequireChannels(const AudioDevice& device, int available, int wanted, const char* way)
{
    if (available < wanted)
        throw AudioError("The sound device \"" + device.name + "\" has " + std::to_string(available) + " " + way +
                         " channels; " + std::to_string(wanted) + " are needed.");
}

}  // namespace

DuplexStream::DuplexStream(const DuplexSettings& settings, DuplexHandler handler, const SoundSystem& system)
    : system_(system), settings_(settings), handler_(std::move(handler))
{
    const std::vector<AudioDevice> devices = system_.Devices();
    play_ = ChooseAudioDevice(devices, settings.playDevice, AudioDirection::Output);
    record_ = ChooseAudioDevice(devices, settings.recordDevice, AudioDirection::Input);
    RequireChannels(play_, play_.outputChannels, settings.playChannels, "output");
    if (settings_.recordChannels == 0) settings_.recordChannels = record_.inputChannels;
    RequireChannels(record_, record_.inputChannels, settings_.recordChannels, "input");
    DuplexCallbacks callbacks;
    callbacks.play = [this](std::span<float> play) { handler_.play(play); };
    callbacks.record = [this](std::span<const float> record) {
        recorded_ += static_cast<std::int64_t>(record.size() / static_cast<std::size_t>(settings_.recordChannels));
        handler_.record(record);
    };
    callbacks.lost = [this](const StreamLoss& loss) { OnLoss(loss); };
    try {
        backend_ = system_.Open({play_, record_, settings_.rate, settings_.playChannels, settings_.recordChannels,
                                 settings_.bufferFrames},
                                std::move(callbacks));
    } catch (const std::exception& e) {
        throw AudioError("The sound devices \"" + play_.name + "\" and \"" + record_.name +
                         "\" could not be opened at " + std::to_string(settings.rate) + " Hz: " + e.what());
    }
}

DuplexStream::~DuplexStream() { backend_.reset(); }

void DuplexStream::Start()
{
    backend_->Start();
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + kFlowTimeout;
    while (recorded_ < settings_.rate / 4) {
        if (const std::optional<std::string> failure = Failure())
            throw AudioError("The sound stream on \"" + play_.name + "\" and \"" + record_.name +
                             "\" did not start: " + *failure);
        if (std::chrono::steady_clock::now() > giveUp)
            throw AudioError("The sound stream on \"" + play_.name + "\" and \"" + record_.name +
                             "\" did not move: no sound came through in 5 s.");
        std::this_thread::sleep_for(10ms);
    }
    watching_ = true;
}

void DuplexStream::Stop() { backend_->Stop(); }

std::optional<std::string> DuplexStream::Failure() const { return backend_->Failure(); }

std::vector<StreamLoss> DuplexStream::Losses() const
{
    const std::size_t count = lossCount_;
    std::vector<StreamLoss> losses(losses_.begin(), losses_.begin() + static_cast<std::ptrdiff_t>(std::min(count, kLossRoom)));
    if (count > kLossRoom) {
        StreamLoss& last = losses.back();
        last.frames = std::max(last.frames, lossesEnd_ - last.frame);
    }
    return losses;
}

void DuplexStream::OnLoss(const StreamLoss& loss)
{
    // Before the stream flows, a server's start-up (a playback not yet fed) is no loss.
    if (!watching_) return;
    if (loss.kind == StreamLoss::Kind::Slip) slipCount_ = slipCount_ + 1;
    const std::size_t count = lossCount_;
    if (count < kLossRoom)
        losses_[count] = loss;
    else
        lossesEnd_ = std::max<std::int64_t>(lossesEnd_, loss.frame + loss.frames);
    lossCount_ = count + 1;
}

void DuplexStream::RequireRecordChannel(int channel, const char* what) const
{
    if (channel > RecordChannels())
        throw AudioError("The sound device \"" + record_.name + "\" has " + std::to_string(RecordChannels()) +
                         " input channels: there is no channel " + std::to_string(channel) + " for the " + what + ".");
}

std::string DuplexStream::StalledText() const
{
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%g", kStreamStalledSeconds);
    return "The sound stream on \"" + play_.name + "\" and \"" + record_.name + "\" stopped: no sound came for " +
           seconds + " s.";
}

std::optional<std::string> DuplexStream::GoneDevice() const
{
    std::vector<AudioDevice> devices;
    try {
        devices = system_.Devices();
    } catch (const AudioError&) {
        return play_.name;  // the whole sound system went away
    }
    const auto listed = [&devices](const AudioDevice& wanted, AudioDirection direction) {
        for (const AudioDevice& device : devices) {
            const int channels = direction == AudioDirection::Output ? device.outputChannels : device.inputChannels;
            if (device.name == wanted.name && device.serverName == wanted.serverName && channels > 0) return true;
        }
        return false;
    };
    if (!listed(play_, AudioDirection::Output)) return play_.name;
    if (!listed(record_, AudioDirection::Input)) return record_.name;
    return std::nullopt;
}
