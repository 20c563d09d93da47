#include "PulseSystem.h"

#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <optional>
#include <type_traits>

#include "PulseDuplex.h"

namespace {

// The server resamples: every device takes these rates.
const std::vector<int> kServerRates{8000, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};

struct Query {
    std::vector<AudioDevice> devices;
    std::string defaultSink;
    std::string defaultSource;
    int answers = 0;  // of the three asked
    bool failed = false;
};

AudioDevice DeviceOf(const char* name, const char* description)
{
    AudioDevice device;
    device.serverName = name;
    device.name = description && *description ? description : name;
    device.rates = kServerRates;
    return device;
}

// Each sink and each source, one device a call; the end of either list counts as an answer.
template <typename Info>
void OnDevice(pa_context*, const Info* info, int eol, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (eol) {
        ++query->answers;
        return;
    }
    AudioDevice device = DeviceOf(info->name, info->description);
    (std::is_same_v<Info, pa_sink_info> ? device.outputChannels : device.inputChannels) = info->sample_spec.channels;
    query->devices.push_back(std::move(device));
}

void OnServer(pa_context*, const pa_server_info* info, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (info) {
        query->defaultSink = info->default_sink_name ? info->default_sink_name : "";
        query->defaultSource = info->default_source_name ? info->default_source_name : "";
    }
    ++query->answers;
}

void OnState(pa_context* context, void* data)
{
    auto* query = static_cast<Query*>(data);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            pa_operation_unref(pa_context_get_server_info(context, OnServer, query));
            pa_operation_unref(pa_context_get_sink_info_list(context, OnDevice<pa_sink_info>, query));
            pa_operation_unref(pa_context_get_source_info_list(context, OnDevice<pa_source_info>, query));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query->failed = true;
            break;
        default:
            break;
    }
}

// The server's devices, or empty when no server answers.
std::optional<Query> AskServer()
{
    Query query;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "quenbar devices");
    pa_context_set_state_callback(context, OnState, &query);
    // No autospawn: a machine without a server has no devices to give.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (!query.failed && query.answers < 3 && pa_mainloop_iterate(loop, 1, nullptr) >= 0) {
        }
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    pa_mainloop_free(loop);
    if (query.answers < 3) return std::nullopt;
    return query;
}

// As every client of the server does: PULSE_SINK and PULSE_SOURCE name the
// defaults. One that names no device of the server leaves no default that
// way, so that nothing else is used in its place.
std::string DefaultName(const char* variable, const std::string& server)
{
    const char* wanted = std::getenv(variable);
    return wanted && *wanted ? wanted : server;
}

}  // namespace

bool PulseSystem::ServerAnswers() { return AskServer().has_value(); }

std::vector<AudioDevice> PulseSystem::Devices() const
{
    std::optional<Query> query = AskServer();
    if (!query) throw AudioError("The sound server did not answer.");
    const std::string sink = DefaultName("PULSE_SINK", query->defaultSink);
    const std::string source = DefaultName("PULSE_SOURCE", query->defaultSource);
    for (AudioDevice& device : query->devices) {
        device.defaultOutput = device.outputChannels > 0 && device.serverName == sink;
        device.defaultInput = device.inputChannels > 0 && device.serverName == source;
    }
    return query->devices;
}

std::unique_ptr<DuplexBackend> PulseSystem::Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const
{
    return std::make_unique<PulseDuplex>(ends, std::move(callbacks));
}
