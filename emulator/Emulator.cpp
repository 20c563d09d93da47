#include "emulator/Emulator.h"

// Placeholder bodies so that dependants can link while the unit's behaviour
// is being written; replaced by the serving implementation.
struct Rx74Emulator::Impl {
  EmulatorFaults faults;
};

Rx74Emulator::Rx74Emulator(EmulatorFaults faults) : impl_(std::make_unique<Impl>()) { impl_->faults = faults; }
Rx74Emulator::~Rx74Emulator() = default;
bool Rx74Emulator::Start() { return false; }
void Rx74Emulator::Stop() {}
std::string Rx74Emulator::DevicePath() const { return {}; }
void Rx74Emulator::SetFaults(const EmulatorFaults& f) { impl_->faults = f; }
std::vector<std::uint8_t> Rx74Emulator::ReceivedBytes() const { return {}; }
std::vector<std::vector<std::uint8_t>> Rx74Emulator::ReceivedPayloads() const { return {}; }
void Rx74Emulator::ClearReceived() {}
std::array<std::uint8_t, 62> Rx74Emulator::CurrentImage() const { return {}; }
void Rx74Emulator::SetCurrentImage(const std::array<std::uint8_t, 62>&) {}
EmulatedMemory Rx74Emulator::Memory(int) const { return {}; }
void Rx74Emulator::SetMemory(int, const EmulatedMemory&) {}
std::string Rx74Emulator::Logo() const { return {}; }
int Rx74Emulator::Exchanges() const { return 0; }
bool Rx74Emulator::HungUp() const { return false; }
bool Rx74Emulator::LoadState(const std::string&) { return false; }
bool Rx74Emulator::SaveState(const std::string&) const { return false; }
void Rx74Emulator::OnStateChanged(std::function<void()>) {}
void Rx74Emulator::OnTraffic(std::function<void(bool, const std::uint8_t*, std::size_t)>) {}
