// The desktop program's model and its link to the unit.
//
// Two models, one rule. `model` is the setting the windows show and edit;
// only the GUI thread touches it. The link works on a model of its own, the
// link's model (UnitLink().Model()): the unit's picture as the exchanges
// leave it, touched only by the work that runs on the link's worker thread
// (UnitWorker()). The two meet at three points, always on the GUI thread's
// terms:
// - an edit: the GUI thread reads the message's payload from `model`
//   (ParameterPayload) and posts it to the worker (SendEdit); the worker
//   only sends it, and the latest value of a field wins;
// - an operation (UnitTasks.h) takes `model` as it stands when it is
//   posted: on the worker the link's model becomes that copy first;
// - its end: the result comes back to the GUI thread by a queued call, and
//   `model` takes the link's model back (TakeUnitPicture), all but the
//   fields only the windows use (curChannel, curBand, curMemory).
// After an edit and after an operation's end the windows that follow
// `model` are told (ModelChanges.h), on the GUI thread.
// Opening and closing the port run on the worker as well, so they never
// overlap an exchange.
#pragma once

#include <functional>
#include <string>

#include "link/Link.h"
#include "model/Model.h"
#include "unit/LinkWorker.h"

extern ParameterModel model;

// The program's one link, over the link's model. Only work running on the
// worker uses it (or the GUI thread while the worker is idle, as tests do).
Link& UnitLink();
// The thread the link's work runs on; made at first use, and again after
// ShutDownUnitLink.
LinkWorker& UnitWorker();

// Who hears of the edits the worker keeps until the unit takes them
// (LinkWorker::onPendingChanged and onResent, called off the GUI thread or
// on it); every worker made from now on keeps them and tells them too.
void SetPendingEditHandlers(std::function<void(std::size_t pending)> pending,
                            std::function<void(const ResendReport&)> resent);

// Names the device and opens it, on the worker; true when it is open.
bool OpenUnitPort(const std::string& device);
// The same for work already running on the worker.
bool OpenPortAfresh(Link& link, const std::string& device);
// As OpenUnitPort, then lets the port go again unless the unit is
// connected: while not connected the program holds no port (nor its lock),
// so other programs may use it.
bool TryUnitPort(const std::string& device);
// Closes the port, on the worker.
void CloseUnitPort();
// At exit: the work under way is cancelled, the work still waiting is
// dropped, the worker is stopped and the port closed.
void ShutDownUnitLink();

// Posts the message of the field the user has just edited, its payload read
// from `model` now, and tells the windows (NotifyModelChanged). Nothing is
// sent while not connected: the offline-edit handler is called instead (the
// document takes the edit).
void SendEdit(int parameterId);
void SetOfflineEditHandler(std::function<void()> handler);

// `model` takes the setting of `target` (`model` with some fields changed:
// an undo, a redo). Connected, the messages of the fields that differ from
// what `model` held are posted, levels down first; not connected, the
// offline-edit handler is called. Then the windows are told.
void SendSetting(const ParameterModel& target);

// `windows` takes the unit's picture from the link's model, keeping its own
// curChannel, curBand and curMemory.
void TakeUnitPicture(ParameterModel& windows, const ParameterModel& link);
