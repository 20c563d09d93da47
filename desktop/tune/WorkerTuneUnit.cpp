#include "tune/WorkerTuneUnit.h"

#include <QCoreApplication>

#include <array>
#include <future>

#include "app/EditHistory.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "link/Frame.h"
#include "model/MemoryImage.h"
#include "unit/UnitCommands.h"

namespace {

// Far longer than the link's time-outs: only a program that is shutting
// down leaves the answer out this long.
constexpr auto kTuneAnswerWait = std::chrono::seconds(60);

// Runs `work` on the link's worker and waits for its answer; empty when
// none came (the worker stopped).
template <class T>
std::optional<T> OnWorker(std::function<T(Link&)> work)
{
    auto answer = std::make_shared<std::promise<T>>();
    std::future<T> future = answer->get_future();
    UnitWorker().Post([answer, work = std::move(work)](Link& link) { answer->set_value(work(link)); });
    try {
        if (future.wait_for(kTuneAnswerWait) == std::future_status::ready) return future.get();
    } catch (const std::future_error&) {  // dropped unanswered
    }
    return std::nullopt;
}

// Tunings' gestures count down from -1, clear of the input's.
long NextTuningGesture()
{
    static std::atomic<long> last{0};
    return --last;
}

// On the GUI thread: `model` takes the change as one step of the history,
// and the windows follow.
void ShowApplied(const ParameterModel& from, const ParameterModel& to, const QString& label, long gesture)
{
    PutAfter(model, SettingDifferences(from, to));
    TheEditHistory().Enter({HistoryEntry::Step, label, gesture});
    NotifyModelChanged();
}

}  // namespace

WorkerTuneUnit::WorkerTuneUnit() : shown_(model), gesture_(NextTuningGesture()) {}

std::optional<ParameterModel> WorkerTuneUnit::Setting()
{
    using Image = std::array<std::uint8_t, kImageSize>;
    const std::optional<std::optional<Image>> read = OnWorker<std::optional<Image>>([](Link& link) {
        Image image{};
        return UnitReadCurrent(link, image.data()) == kResultDone ? std::optional(image) : std::nullopt;
    });
    if (!read || !*read) return std::nullopt;
    ParameterModel setting = shown_;
    ImageToModel(setting, (*read)->data());
    return setting;
}

ApplyResult WorkerTuneUnit::Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label)
{
    const std::atomic<bool>* cancel = cancel_;
    std::optional<ApplyResult> result = OnWorker<ApplyResult>([from, to, cancel](Link& link) {
        ApplyResult sent = SendSettingStep(
            from, to,
            [&link](const std::vector<std::uint8_t>& payload) {
                const std::vector<std::uint8_t> frame = FrameOf(payload);
                return SendFramed(link, frame.data(), static_cast<int>(frame.size())) == kResultDone;
            },
            cancel);
        // The link's model mirrors what the unit holds (or may hold).
        PutAfter(link.Model(), SettingDifferences(link.Model(), sent.Done() ? to : from));
        PutAfter(link.Model(), sent.leftChanged);
        return sent;
    });
    if (!result)
        return {ApplyResult::Outcome::LeftChanged, "The unit's link stopped while the change was sent.",
                SettingDifferences(from, to)};
    if (result->Done())
        QMetaObject::invokeMethod(
            qApp,
            [from, to, label = QString::fromStdString(label), gesture = gesture_] {
                ShowApplied(from, to, label, gesture);
            },
            Qt::QueuedConnection);
    return *result;
}
