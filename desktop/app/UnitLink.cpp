#include "app/UnitLink.h"

#include <memory>

#include "app/ModelChanges.h"
#include "history/SettingChanges.h"
#include "link/ParameterMessages.h"

ParameterModel model{};

namespace {

// The link's own model: the unit's picture, worked on by the worker only.
ParameterModel linkModel{};

std::function<void()> offlineEditHandler;
std::function<void(std::size_t)> pendingHandler;
std::function<void(const ResendReport&)> resentHandler;

// How often edits the unit did not take are tried again.
constexpr std::chrono::seconds kRetryUnansweredEvery{2};

void GivePendingEditHandlers(LinkWorker& worker)
{
    worker.KeepUnanswered(kRetryUnansweredEvery);
    worker.onPendingChanged = pendingHandler;
    worker.onResent = resentHandler;
}

// The worker, if one runs. The link is made first, so that it outlives the
// worker at exit.
std::unique_ptr<LinkWorker>& WorkerSlot()
{
    UnitLink();
    static std::unique_ptr<LinkWorker> worker;
    return worker;
}

}  // namespace

Link& UnitLink()
{
    static Link link(linkModel);
    return link;
}

LinkWorker& UnitWorker()
{
    std::unique_ptr<LinkWorker>& worker = WorkerSlot();
    if (!worker) {
        // Given before any work is posted, so the worker thread reads them after.
        worker = std::make_unique<LinkWorker>(UnitLink());
        GivePendingEditHandlers(*worker);
    }
    return *worker;
}

void SetPendingEditHandlers(std::function<void(std::size_t pending)> pending,
                            std::function<void(const ResendReport&)> resent)
{
    pendingHandler = std::move(pending);
    resentHandler = std::move(resent);
    // Set while the worker is idle, so that no work reads them as they change.
    UnitWorker().Run([](Link&) { GivePendingEditHandlers(UnitWorker()); });
}

bool OpenUnitPort(const std::string& device)
{
    bool open = false;
    UnitWorker().Run([&](Link& link) { open = OpenPortAfresh(link, device); });
    return open;
}

bool TryUnitPort(const std::string& device)
{
    const bool keep = model.connected != 0;
    bool open = false;
    UnitWorker().Run([&](Link& link) {
        open = OpenPortAfresh(link, device);
        if (!keep) link.Close();
    });
    return open;
}

bool OpenPortAfresh(Link& link, const std::string& device)
{
    link.SetDevice(device);
    const bool open = link.Open();
    // A port opened afresh starts out answering.
    if (link.onAnsweringChanged) link.onAnsweringChanged(link.Answering());
    return open;
}

void CloseUnitPort()
{
    UnitWorker().Run([](Link& link) { link.Close(); });
}

void ShutDownUnitLink()
{
    WorkerSlot().reset();  // cancels, drops and joins
    UnitLink().Close();
}

void SendEdit(int parameterId)
{
    if (model.connected)
        UnitWorker().PostParameter(ParameterPayload(model, parameterId));
    else if (offlineEditHandler)
        offlineEditHandler();
    NotifyModelChanged();
}

void SendSetting(const ParameterModel& target)
{
    const bool connected = model.connected != 0;
    if (connected)
        for (std::vector<std::uint8_t>& payload : MessagesBetween(model, target))
            UnitWorker().PostParameter(std::move(payload));
    model = target;
    if (!connected && offlineEditHandler) offlineEditHandler();
    NotifyModelChanged();
}

void SetOfflineEditHandler(std::function<void()> handler) { offlineEditHandler = std::move(handler); }

void TakeUnitPicture(ParameterModel& windows, const ParameterModel& link)
{
    const int channel = windows.curChannel, band = windows.curBand, memory = windows.curMemory;
    windows = link;
    windows.curChannel = channel;
    windows.curBand = band;
    windows.curMemory = memory;
}
