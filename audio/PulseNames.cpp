#include "PulseNames.h"

#include <pulse/pulseaudio.h>

namespace {

struct Query {
    PulseNames names;
    int listsDone = 0;
    bool failed = false;
};

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (eol) {
        ++query->listsDone;
        return;
    }
    query->names.sinks[info->description] = info->name;
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (eol) {
        ++query->listsDone;
        return;
    }
    query->names.sources[info->description] = info->name;
}

void OnState(pa_context* context, void* data)
{
    auto* query = static_cast<Query*>(data);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            pa_operation_unref(pa_context_get_sink_info_list(context, OnSink, query));
            pa_operation_unref(pa_context_get_source_info_list(context, OnSource, query));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query->failed = true;
            break;
        default:
            break;
    }
}

}  // namespace

PulseNames QueryPulseNames()
{
    Query query;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "quenbar device names");
    pa_context_set_state_callback(context, OnState, &query);
    // No autospawn: a machine without a server has no names to give.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (!query.failed && query.listsDone < 2 && pa_mainloop_iterate(loop, 1, nullptr) >= 0) {
        }
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return query.listsDone == 2 ? query.names : PulseNames{};
}
