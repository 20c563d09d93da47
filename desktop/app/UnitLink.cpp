#include "app/UnitLink.h"

#include <memory>

#include "app/ModelChanges.h"
#include "link/ParameterMessages.h"

ParameterModel model{};

namespace {

// The link's own model: the unit's picture, worked on by the worker only.
ParameterModel linkModel{};

std::function<void()> offlineEditHandler;

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
    if (!worker) worker = std::make_unique<LinkWorker>(UnitLink());
    return *worker;
}

bool OpenUnitPort(const std::string& device)
{
    bool open = false;
    UnitWorker().Run([&](Link& link) {
        link.SetDevice(device);
        open = link.Open();
        // A port opened afresh starts out answering.
        if (link.onAnsweringChanged) link.onAnsweringChanged(link.Answering());
    });
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

void SetOfflineEditHandler(std::function<void()> handler) { offlineEditHandler = std::move(handler); }

void TakeUnitPicture(ParameterModel& windows, const ParameterModel& link)
{
    const int channel = windows.curChannel, band = windows.curBand, memory = windows.curMemory;
    windows = link;
    windows.curChannel = channel;
    windows.curBand = band;
    windows.curMemory = memory;
}
