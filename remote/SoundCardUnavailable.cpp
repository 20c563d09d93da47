// The sound card's requests in a build without the measurement (the Windows
// build: Debian has no RtAudio, KissFFT or libsndfile for it).
#include "SoundCardDesk.h"

namespace {

class UnavailableDesk : public SoundCardDesk {
public:
    bool Route(const DeskUnit&, const ApiRequest&, const std::vector<std::string>& path,
               const Respond& respond) override
    {
        if (path.empty() || (path[0] != "measure" && path[0] != "tune")) return false;
        respond({501,
                 "text/plain; charset=utf-8",
                 "Measuring is not available in this build (Windows) yet: serve from the Linux one.\n",
                 {}});
        return true;
    }
    bool Busy(const RemoteUnit&) const override { return false; }
    void Stop(std::function<void()> done) override { done(); }
};

}  // namespace

std::unique_ptr<SoundCardDesk> MakeSoundCardDesk(boost::asio::any_io_executor, PushHub&)
{
    return std::make_unique<UnavailableDesk>();
}
