#include "tests/support/UnitBehindLink.h"

namespace {

constexpr char kInMemoryDevice[] = "in-memory unit";

}  // namespace

UnitBehindLink::UnitBehindLink(Wire wire) : ownModel_(std::make_unique<ParameterModel>())
{
    if (wire == Wire::InMemory) {
        inMemory_ = std::make_unique<InMemoryUnit>();
        ownLink_ = std::make_unique<Link>(*ownModel_, inMemory_->Factory());
    } else {
        onPty_ = std::make_unique<Rx74Emulator>();
        ownLink_ = std::make_unique<Link>(*ownModel_);
    }
    link_ = ownLink_.get();
}

UnitBehindLink::UnitBehindLink(Link& link) : onPty_(std::make_unique<Rx74Emulator>()), link_(&link) {}

UnitBehindLink::~UnitBehindLink()
{
    link_->Close();
    if (onPty_) onPty_->Stop();
}

bool UnitBehindLink::Open()
{
    if (onPty_) {
        if (!onPty_->Start()) return false;
        link_->SetDevice(onPty_->DevicePath());
    } else {
        link_->SetDevice(kInMemoryDevice);
    }
    return link_->Open();
}

bool UnitBehindLink::Reopen()
{
    link_->Close();
    if (inMemory_) {
        inMemory_->Restart();
    } else {
        onPty_->Stop();
    }
    return Open();
}

rx74emu::EmulatedUnit& UnitBehindLink::Unit() const { return inMemory_ ? inMemory_->Unit() : onPty_->Unit(); }
