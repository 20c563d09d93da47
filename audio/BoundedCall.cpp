#include "BoundedCall.h"

#include <future>
#include <thread>

bool CallWithin(std::chrono::milliseconds timeout, std::function<void()> call)
{
    // The task is the thread's own: a call left behind keeps its state alive.
    std::packaged_task<void()> task(std::move(call));
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    if (done.wait_for(timeout) != std::future_status::ready) return false;
    done.get();
    return true;
}
