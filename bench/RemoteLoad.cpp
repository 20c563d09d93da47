// Load on the network remote (run by bench/remote-load.sh): CLIENTS clients,
// each with a keep-alive HTTP connection that changes a random field RATE
// times a second and a push channel that folds what it is told, for SECONDS.
// Prints JSON: the API's latency (the answer to a change comes once the unit
// acknowledged it), how long after that answer each client heard of the
// change, the server's memory over time, and whether every client's setting
// equals the server's at the end. Writes the server's final setting to --state.
//
//   remote_load_bench --port P --server-pid PID [--clients 20] [--rate 10] [--seconds 60] --state FILE
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    std::uint16_t port = 0;
    int serverPid = 0;
    int clients = 20;
    int rate = 10;
    int seconds = 60;
    std::string statePath;
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--port") options.port = static_cast<std::uint16_t>(std::stoi(value));
        if (name == "--server-pid") options.serverPid = std::stoi(value);
        if (name == "--clients") options.clients = std::stoi(value);
        if (name == "--rate") options.rate = std::stoi(value);
        if (name == "--seconds") options.seconds = std::stoi(value);
        if (name == "--state") options.statePath = value;
    }
    if (options.port == 0 || options.statePath.empty()) throw std::runtime_error("usage: see the file's head");
    return options;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

json Summary(const std::vector<double>& values)
{
    return {{"count", values.size()},
            {"p50_ms", Percentile(values, 0.50)},
            {"p90_ms", Percentile(values, 0.90)},
            {"p99_ms", Percentile(values, 0.99)},
            {"max_ms", values.empty() ? 0 : *std::max_element(values.begin(), values.end())}};
}

long RssKib(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// One keep-alive HTTP connection.
class Connection {
public:
    explicit Connection(std::uint16_t port) : host_("127.0.0.1:" + std::to_string(port))
    {
        socket_.connect({asio::ip::make_address("127.0.0.1"), port});
    }
    http::response<http::string_body> Send(http::verb verb, const std::string& target, const std::string& body = {})
    {
        http::request<http::string_body> request{verb, target, 11};
        request.set(http::field::host, host_);
        if (!body.empty()) request.set(http::field::content_type, "application/json");
        request.body() = body;
        request.prepare_payload();
        http::write(socket_, request);
        http::response<http::string_body> response;
        http::read(socket_, buffer_, response);
        return response;
    }

private:
    asio::io_context io_;
    tcp::socket socket_{io_};
    beast::flat_buffer buffer_;
    std::string host_;
};

// The fields the load changes: both channels' fields with a message, every
// PEQ field, with their ranges from /api/scales.
struct Field {
    std::string path;
    int min, max;
};

std::vector<Field> Fields(const json& scales)
{
    std::vector<Field> fields;
    for (const std::string channel : {"lr", "sub"}) {
        for (const auto& [name, scale] : scales.items()) {
            if (name == "peq" || (channel == "sub" && name == "xoverOn")) continue;
            fields.push_back({channel + "/" + name, scale["min"], scale["max"]});
        }
        for (int band = 0; band < 3; ++band)
            for (const auto& [name, scale] : scales["peq"].items())
                fields.push_back({channel + "/peq/" + std::to_string(band) + "/" + name, scale["min"], scale["max"]});
    }
    return fields;
}

// A push client: folds the setting it is told and notes when each announcement came.
class Listener {
public:
    explicit Listener(std::uint16_t port)
    {
        stream_.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        stream_.handshake("127.0.0.1:" + std::to_string(port), "/api/events");
        thread_ = std::thread([this] { Listen(); });
    }
    void Stop()
    {
        beast::error_code ignored;
        stream_.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
        thread_.join();
    }
    json Settings() const
    {
        std::lock_guard lock(mutex_);
        return settings_;
    }
    std::map<long, Clock::time_point> Heard() const
    {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    void Listen()
    {
        for (;;) {
            beast::flat_buffer buffer;
            beast::error_code error;
            stream_.read(buffer, error);
            if (error) return;
            const json message = json::parse(beast::buffers_to_string(buffer.data()));
            std::lock_guard lock(mutex_);
            heard_.emplace(message["seq"].get<long>(), Clock::now());
            if (message["type"] == "state") settings_ = message["settings"];
            if (message["type"] == "channel") settings_[message["channel"].get<std::string>()] = message["settings"];
        }
    }

    asio::io_context io_;
    websocket::stream<tcp::socket> stream_{io_};
    mutable std::mutex mutex_;
    json settings_;
    std::map<long, Clock::time_point> heard_;
    std::thread thread_;
};

struct Answer {
    long seq;
    Clock::time_point at;
};

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    const std::vector<Field> fields =
        Fields(json::parse(Connection(options.port).Send(http::verb::get, "/api/scales").body()));

    std::vector<std::unique_ptr<Listener>> listeners;
    for (int i = 0; i < options.clients; ++i) listeners.push_back(std::make_unique<Listener>(options.port));

    std::mutex resultsMutex;
    std::vector<double> latencies;
    std::vector<Answer> answers;
    std::atomic<long> failures{0};
    std::atomic<bool> running{true};
    std::vector<long> rss;
    std::thread sampler([&] {
        while (running) {
            rss.push_back(RssKib(options.serverPid));
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });

    const auto start = Clock::now();
    const auto period = std::chrono::microseconds(1'000'000 / options.rate);
    const long editsEach = static_cast<long>(options.seconds) * options.rate;
    std::vector<std::thread> clients;
    for (int c = 0; c < options.clients; ++c) {
        clients.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(1000 + c));
            Connection connection(options.port);
            // Clients start spread over one period, as people do.
            auto next = start + period * c / options.clients;
            for (long i = 0; i < editsEach; ++i, next += period) {
                std::this_thread::sleep_until(next);
                const Field& field = fields[random() % fields.size()];
                const int value =
                    field.min + static_cast<int>(random() % static_cast<unsigned>(field.max - field.min + 1));
                const auto sent = Clock::now();
                const auto response =
                    connection.Send(http::verb::put, "/api/settings/" + field.path, json{{"value", value}}.dump());
                const auto answered = Clock::now();
                std::lock_guard lock(resultsMutex);
                latencies.push_back(Ms(answered - sent));
                if (response.result_int() != 200) {
                    ++failures;
                    continue;
                }
                answers.push_back({json::parse(response.body())["seq"].get<long>(), answered});
            }
        });
    }
    for (std::thread& client : clients) client.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the last announcements
    running = false;
    sampler.join();

    // How long after the first answer that carried an announcement's seq each client heard it.
    std::map<long, Clock::time_point> firstAnswer;
    for (const Answer& answer : answers) {
        const auto [it, inserted] = firstAnswer.emplace(answer.seq, answer.at);
        if (!inserted) it->second = std::min(it->second, answer.at);
    }
    std::vector<double> lags;
    long unheard = 0;
    const json state = json::parse(Connection(options.port).Send(http::verb::get, "/api/state").body());
    int agreeing = 0;
    for (const auto& listener : listeners) {
        const std::map<long, Clock::time_point> heard = listener->Heard();
        for (const auto& [seq, answeredAt] : firstAnswer) {
            const auto it = heard.find(seq);
            if (it == heard.end()) {
                ++unheard;
                continue;
            }
            lags.push_back(std::max(0.0, Ms(it->second - answeredAt)));
        }
        agreeing += listener->Settings() == state["settings"] ? 1 : 0;
        listener->Stop();
    }
    std::ofstream(options.statePath) << state["settings"].dump(2);

    const std::size_t half = rss.size() / 2;
    const json result = {
        {"clients", options.clients},
        {"rate_per_client", options.rate},
        {"seconds", elapsed},
        {"changes", latencies.size()},
        {"changes_per_second", static_cast<double>(latencies.size()) / elapsed},
        {"failed", failures.load()},
        {"api_latency", Summary(latencies)},
        {"announcement_after_answer", Summary(lags)},
        {"announcements_not_heard", unheard},
        {"server_rss_kib",
         {{"first", rss.empty() ? 0 : rss.front()},
          {"middle", rss.empty() ? 0 : rss[half]},
          {"last", rss.empty() ? 0 : rss.back()},
          {"max", rss.empty() ? 0 : *std::max_element(rss.begin(), rss.end())}}},
        {"clients_agreeing_with_server", agreeing},
    };
    std::cout << result.dump(2) << std::endl;
    return failures == 0 && agreeing == options.clients ? 0 : 1;
}
