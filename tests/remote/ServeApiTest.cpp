// The remote's HTTP API against an emulated unit: what each endpoint
// answers and sends, every refusal with its status and reason, the limits,
// and who may call it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>
#include <tuple>

#include "memfile/MemoryFileJson.h"
#include "session/CommandError.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"
#include "tests/remote/RemoteRig.h"

namespace {

constexpr const char* kJson = "application/json";
constexpr const char* kFile = "application/octet-stream";

EmulatedMemory Memory(bool used, const std::string& name, const ImageBytes& image = DefaultImage())
{
    EmulatedMemory memory;
    memory.used = used;
    memory.name = name;
    memory.image = image;
    return memory;
}

// The payloads of one quenbar-cli run without the connect sequence (eight
// frames) and the disconnect.
std::vector<Payload> CommandPayloads(const Rx74Emulator& unit)
{
    const std::vector<Payload> all = unit.ReceivedPayloads();
    if (all.size() < 9) return {};
    return {all.begin() + 8, all.end() - 1};
}

// A memory file of sound format whose second memory holds a Sub low-pass
// type one beyond the last.
std::string OutOfRangeFile()
{
    std::array<RecordBytes, 6> records;
    records[1].image[31 + 7] = 28;
    const std::vector<unsigned char> bytes = MemoryFileBytes(records);
    return {bytes.begin(), bytes.end()};
}

std::vector<double> ResponseColumn(const std::string& printed)
{
    std::vector<double> dB;
    std::istringstream lines(printed);
    int step = 0;
    double hz = 0, value = 0;
    while (lines >> step >> hz >> value) dB.push_back(value);
    return dB;
}

TEST(RemoteApi, AFieldChangedThroughTheApiReachesTheUnitAsTheBytesOfCliSet)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    // The API's value in units or in steps; `set` is given the raw step.
    struct Case {
        std::string path;
        json value;
        std::vector<std::string> setWords;
    };
    const Case cases[] = {
        {"lr/gain", "-14dB", {"lr", "gain", "100"}},
        {"sub/delay", "4ms", {"sub", "delay", "40"}},
        {"sub/hpfFreq", 120, {"sub", "hpfFreq", "120"}},
        {"sub/hpf", "24dB-butterworth", {"sub", "hpfType", "22"}},
        {"lr/peq/1/gain", "+2.2dB", {"lr", "peq", "1", "gain", "150"}},
        {"sub/peq/2/hiShelf", "on", {"sub", "peq", "2", "hiShelf", "1"}},
    };
    for (const Case& c : cases) {
        // quenbar-cli set, against a unit of its own that holds the same setting.
        Rx74Emulator cliUnit;
        cliUnit.SetCurrentImage(rig.unit.CurrentImage());
        ASSERT_TRUE(cliUnit.Start());
        std::vector<std::string> args{"--port", cliUnit.DevicePath(), "set"};
        args.insert(args.end(), c.setWords.begin(), c.setWords.end());
        ASSERT_EQ(RunCli(args).exitCode, 0) << c.path;
        const std::vector<std::uint8_t> cliBytes = cliUnit.ReceivedBytes();

        const HttpReply reply = client.Set(c.path, c.value);
        ASSERT_EQ(reply.status, 200) << c.path << ": " << reply.body;
        const std::vector<std::uint8_t> apiBytes = rig.unit.ReceivedBytes();
        const std::vector<Payload> apiPayloads = rig.TakePayloads();
        EXPECT_EQ(apiPayloads, CommandPayloads(cliUnit)) << c.path;
        ASSERT_FALSE(apiBytes.empty());
        EXPECT_NE(std::search(cliBytes.begin(), cliBytes.end(), apiBytes.begin(), apiBytes.end()), cliBytes.end())
            << c.path << ": the API's bytes are not the ones quenbar-cli set sends";
        EXPECT_EQ(rig.unit.CurrentImage(), cliUnit.CurrentImage()) << c.path;
    }
    // The answer is the channel as the unit acknowledged it, in steps and in units.
    const json answer = client.Set("lr/gain", 99).Json();
    EXPECT_EQ(answer["channel"], "lr");
    EXPECT_EQ(answer["settings"]["gain"], 99);
    EXPECT_EQ(answer["values"]["gainDb"], -14.5);
    EXPECT_EQ(answer["settings"]["peq"][1]["gain"], 150);
}

TEST(RemoteApi, StateScalesResponseCurvesAndThePageFiles)
{
    RigOptions options;
    options.prepare = [](Rx74Emulator& unit) {
        unit.SetMemory(2, Memory(true, "Kick"));
        unit.SetMemory(5, Memory(false, "Old show"));
        ImageBytes image = DefaultImage();
        image[1] = 100;      // Left&Right gain
        image[31 + 7] = 19;  // Sub low-pass type
        unit.SetCurrentImage(image);
    };
    ServerRig rig(options);
    const RemoteClient client = rig.Client();

    const json state = client.Get("/api/state").Json();
    EXPECT_EQ(state["link"]["state"], "connected");
    EXPECT_EQ(state["link"]["device"], rig.Device());
    EXPECT_EQ(state["memories"][1], json({{"slot", 2}, {"used", true}, {"name", "Kick"}}));
    EXPECT_EQ(state["memories"][4]["used"], false);
    EXPECT_EQ(state["settings"]["lr"]["gain"], 100);
    EXPECT_EQ(state["values"]["lr"]["gainDb"], -14.0);
    EXPECT_EQ(state["settings"]["sub"]["lpfType"], 19);
    EXPECT_EQ(state["values"]["sub"]["lpfType"], "12dB-butterworth");

    const json scales = client.Get("/api/scales").Json();
    EXPECT_EQ(scales["gain"]["min"], 8);
    EXPECT_EQ(scales["gain"]["texts"].size(), 133u);
    EXPECT_EQ(scales["gain"]["texts"][128 - 8], "+0.0dB");
    EXPECT_EQ(scales["peq"]["freq"]["texts"].size(), 395u);

    // The curves are the ones `quenbar-cli response` prints for the same setting.
    ASSERT_EQ(client.Set("lr/hpfType", 22).status, 200);
    ASSERT_EQ(client.Set("lr/hpfFreq", 150).status, 200);
    ASSERT_EQ(client.Set("lr/peq/0/gain", 200).status, 200);
    const json curves = client.Get("/api/response").Json();
    ASSERT_EQ(curves["hz"].size(), 395u);
    EXPECT_EQ(curves["hz"][0], 10.0);
    RecordBytes record{1, "now", rig.unit.CurrentImage()};
    const std::string file = TempPath("current.cmf");
    WriteBytes(file, MemoryFileBytes({record, record, record, record, record, record}));
    for (const std::string channel : {"lr", "sub"}) {
        const std::vector<double> printed = ResponseColumn(RunCli({"response", file, "1", channel}).out);
        ASSERT_EQ(printed.size(), 395u);
        for (std::size_t k = 0; k < printed.size(); ++k)
            ASSERT_NEAR(curves[channel][k].get<double>(), printed[k], 0.005) << channel << " step " << k;
    }
    EXPECT_LT(curves["lr"][100].get<double>(), -3.0);  // below the high-pass corner

    std::size_t pageBytes = 0;
    // The address form the Find-the-unit view shows as an example ("tcp://HOST:PORT") names no host.
    const std::regex namedHost("://(?!HOST:)");
    for (const std::string path : {"/", "/app.js", "/graph.js", "/chain.js", "/tools.js", "/style.css", "/favicon.svg"}) {
        const HttpReply file = client.Get(path);
        ASSERT_EQ(file.status, 200) << path;
        EXPECT_NE(file.headers.at("content-security-policy").find("default-src 'none'"), std::string::npos);
        EXPECT_EQ(file.headers.at("x-content-type-options"), "nosniff");
        if (path != "/favicon.svg") {
            EXPECT_FALSE(std::regex_search(file.body, namedHost)) << path << " names a host";
        }
        pageBytes += file.body.size();
    }
    EXPECT_EQ(client.Get("/").headers.at("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(client.Get("/app.js").headers.at("content-type"), "text/javascript; charset=utf-8");
    EXPECT_LT(pageBytes, 200u * 1024);
}

TEST(RemoteApi, BadInputIsRefusedWithItsReasonAndNothingReachesTheUnit)
{
    RigOptions options;
    options.prepare = [](Rx74Emulator& unit) { unit.SetMemory(2, Memory(false, "")); };
    ServerRig rig(options);
    const RemoteClient client = rig.Client();
    struct Case {
        std::string method;
        std::string target;
        std::string body;
        std::string type;
        int status;
        std::string reason;
    };
    const std::string value = R"({"value":3})";
    const Case cases[] = {
        {"PUT", "/api/settings/lr/volume", value, kJson, 400, "Unknown channel field: volume"},
        {"PUT", "/api/settings/sub/xoverOn", value, kJson, 400,
         "The Sub channel's xoverOn has no parameter message and cannot be set."},
        {"PUT", "/api/settings/mid/gain", value, kJson, 400, "CHANNEL must be lr or sub: mid"},
        {"PUT", "/api/settings/lr/peq/3/gain", value, kJson, 400, "BAND must be 0, 1 or 2: 3"},
        {"PUT", "/api/settings/lr/peq/1/q", value, kJson, 400, "Unknown PEQ field: q"},
        {"PUT", "/api/settings/lr/gain", R"({"value":141})", kJson, 400,
         "lr gain: step 141 is outside 8..140 (-60.0dB .. +6.0dB)"},
        {"PUT", "/api/settings/lr/gain", R"({"value":"999"})", kJson, 400, "lr gain: step 999 is outside 8..140"},
        {"PUT", "/api/settings/sub/peq/0/bandwidth", R"({"value":1})", kJson, 400, "step 1 is outside 2..41"},
        {"PUT", "/api/settings/lr/gain", R"({"value":"1e308dB"})", kJson, 400,
         "lr gain: \"1e308dB\" is outside -60.0dB .. +6.0dB"},
        {"PUT", "/api/settings/sub/delay", R"({"value":"100m"})", kJson, 400, "\"100m\" is outside 0.00m .. 4.31m"},
        {"PUT", "/api/settings/lr/limThreshold", R"({"value":"+11dBu"})", kJson, 400, "is outside -40dBu .. +10dBu"},
        {"PUT", "/api/settings/lr/gain", R"({"value":100,"channel":"sub"})", kJson, 400,
         "The body takes only \"value\" and \"gesture\": \"channel\" is not one"},
        {"PUT", "/api/memories/3", R"({"name":"ok","slot":3})", kJson, 400,
         "The body takes only \"name\": \"slot\" is not one"},
        {"POST", "/api/memories/2/recall", "", "", 409, "Memory 2 is empty: there is nothing to recall."},
        {"PUT", "/api/settings/lr/gain", R"({"value":99999999999})", kJson, 400, "A step must be a small whole number"},
        {"PUT", "/api/settings/lr/gain", R"({"value":1.5})", kJson, 400, "must be a whole number of steps"},
        {"PUT", "/api/settings/lr/mute", R"({"value":true})", kJson, 400, "must be a whole number of steps"},
        {"PUT", "/api/settings/lr/gain", R"({"value":"loud"})", kJson, 400, "lr gain: \"loud\" is not a value here"},
        {"PUT", "/api/settings/lr/hpf", R"({"value":"-3dB"})", kJson, 400, "lr hpfFreq: \"-3dB\" is not a value"},
        {"PUT", "/api/settings/lr/gain", R"({})", kJson, 400, R"(The body must be {"value")"},
        {"PUT", "/api/settings/lr/gain", R"({"value":)", kJson, 400, "The body must be a JSON object."},
        {"PUT", "/api/settings/lr/gain", "value=3", "application/x-www-form-urlencoded", 415,
         "Send the body as application/json."},
        {"POST", "/api/settings/lr/gain", value, kJson, 405, "POST is not allowed"},
        {"PUT", "/api/memories/7", R"({"name":"x"})", kJson, 400, "SLOT must be 1..6: 7"},
        {"POST", "/api/memories/0/recall", "", "", 400, "SLOT must be 1..6: 0"},
        {"DELETE", "/api/memories/one", "", "", 400, "SLOT must be 1..6: one"},
        {"PUT", "/api/memories/2", R"({"name":"eleven chrs"})", kJson, 400,
         "A memory name has at most 10 characters: eleven chrs"},
        {"PUT", "/api/memories/2", R"({"name":"caf\u00e9"})", kJson, 400,
         "A memory name takes printable ASCII characters only."},
        {"PUT", "/api/memories/2", R"({"name":7})", kJson, 400, R"(The body must be {"name")"},
        {"PUT", "/api/memory-file", "not a memory file", kFile, 400,
         "File format error! The upload has 17 of 704 bytes."},
        {"PUT", "/api/memory-file", OutOfRangeFile(), kFile, 400,
         "The upload holds values outside their fields' ranges, which the unit never holds:\nmemory 2: Sub lpfType"},
        {"PUT", "/api/memory-file", "{}", kJson, 415, "Send the body as application/octet-stream."},
        {"PUT", "/api/memory-file.json", R"({"format":"quenbar-memory-file"})", kJson, 400, "$.version: missing"},
        {"GET", "/api/nothing", "", "", 404, "Nothing here: /api/nothing"},
        {"GET", "/api/events", "", "", 426, "The push channel is a WebSocket."},
        {"GET", "/../../etc/passwd", "", "", 404, "Nothing here"},
        {"POST", "/", "", "", 405, "The page only answers GET."},
    };
    for (const Case& c : cases) {
        const HttpReply reply = client.Request(c.method, c.target, c.body, c.type);
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.target << " " << c.body;
        EXPECT_NE(reply.Error().find(c.reason), std::string::npos) << c.target << ": " << reply.body;
    }
    EXPECT_TRUE(rig.unit.ReceivedBytes().empty());
}

// A dense measurement export: a point every 1/4000 octave, phase included.
std::string DenseMeasurement()
{
    std::string text = "* freq dB phase\n";
    char line[64];
    for (int i = 0; i < 40000; ++i) {
        std::snprintf(line, sizeof line, "%.6f %.4f %.3f\n", 20.0 * std::pow(2.0, i / 4000.0), 80.0 - i * 1e-4,
                      -90.0 + i * 1e-3);
        text += line;
    }
    return text;
}

TEST(RemoteApi, RequestBodiesOverTheirRoutesLimitAreRefused)
{
    RigOptions options;
    options.token = "remote-test-token-0123456789";
    ServerRig rig(options);
    const RemoteClient client = rig.Client();
    EXPECT_EQ(client.Request("PUT", "/api/memory-file", std::string(64 * 1024, 'x'), kFile).Error(),
              "File format error! The upload has no header.");  // at the limit: read and judged
    for (const std::size_t size : {64 * 1024 + 1, 8 * 1024 * 1024}) {
        const HttpReply refused = client.Request("PUT", "/api/memory-file", std::string(size, 'x'), kFile);
        EXPECT_EQ(refused.status, 413) << size;
        EXPECT_EQ(refused.Error(), "A request body may hold at most 64 KiB.");
        EXPECT_EQ(refused.headers.at("connection"), "close");
    }
    EXPECT_EQ(client.Get("/api/state").status, 200);

    // A measurement upload may be dense: up to 4 MiB, from a client the gate lets through.
    const std::string dense = DenseMeasurement();
    ASSERT_GT(dense.size(), std::size_t(1024 * 1024));
    for (const char* target : {"/api/measurements/lr", "/api/units/1/measurements/sub"}) {
        const HttpReply kept = client.Request("PUT", target, dense, "text/plain");
        EXPECT_EQ(kept.status, 200) << target << ": " << kept.Error();
        EXPECT_EQ(kept.Json()["hz"].size(), 40000u);
    }
    const HttpReply over =
        client.Request("PUT", "/api/measurements/lr", std::string(4 * 1024 * 1024 + 1, '1'), "text/plain");
    EXPECT_EQ(over.status, 413);
    EXPECT_EQ(over.Error(), "A request body may hold at most 4 MiB.");
    for (const auto& [method, target, token] : {std::tuple{"POST", "/api/fit/lr", options.token},
                                                {"GET", "/api/measurements/lr", options.token},
                                                {"PUT", "/api/measurements/lr", std::string()}}) {
        const HttpReply refused =
            rig.Client(token).Request(method, target, std::string(64 * 1024 + 1, '1'), "text/plain");
        EXPECT_EQ(refused.status, 413) << method << " " << target << " " << token;
        EXPECT_EQ(refused.Error(), "A request body may hold at most 64 KiB.");
    }
    EXPECT_TRUE(rig.unit.ReceivedBytes().empty());
}

TEST(RemoteApi, OversizedRequestHeadsAreAnswered431Or414)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    const HttpReply fields = client.Request("GET", "/api/state", {}, {}, {{"X-Padding", std::string(9000, 'p')}});
    EXPECT_EQ(fields.status, 431);
    EXPECT_EQ(fields.Error(), "A request head may hold at most 8 KiB.");
    EXPECT_EQ(fields.headers.at("connection"), "close");
    const HttpReply target = client.Get("/api/state?" + std::string(9000, 't'));
    EXPECT_EQ(target.status, 414);
    EXPECT_EQ(target.Error(), "A request target may hold at most 8 KiB.");
    EXPECT_EQ(client.Request("GET", "/api/state", {}, {}, {{"X-Padding", std::string(7000, 'p')}}).status, 200);
}

TEST(RemoteApi, APathThatIsNotUtf8IsAnswered404)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    for (const char* target : {"/\xff\xfe", "/api/\xa1"}) {
        const HttpReply reply = client.Get(target);
        EXPECT_EQ(reply.status, 404) << target;
        EXPECT_EQ(reply.Error().rfind("Nothing here: /", 0), 0u) << reply.body;
    }
    EXPECT_EQ(client.Get("/api/state").status, 200);
}

TEST(RemoteApi, MemoriesAreStoredRecalledDeletedAndMovedAsFiles)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    ASSERT_EQ(client.Set("lr/gain", 90).status, 200);
    const HttpReply stored = client.PutJson("/api/memories/4", {{"name", "Live  "}});
    ASSERT_EQ(stored.status, 200) << stored.body;
    EXPECT_EQ(stored.Json()["memories"][3], json({{"slot", 4}, {"used", true}, {"name", "Live"}}));
    EXPECT_EQ(rig.unit.Memory(4).name, "Live            ");
    EXPECT_EQ(rig.unit.Memory(4).image[1], 90);

    ImageBytes band = DefaultImage();
    band[31 + 1] = 60;  // Sub gain
    rig.unit.SetMemory(2, Memory(true, "Band", band));
    const HttpReply recalled = client.Request("POST", "/api/memories/2/recall");
    ASSERT_EQ(recalled.status, 200) << recalled.body;
    EXPECT_EQ(recalled.Json()["settings"]["sub"]["gain"], 60);
    EXPECT_EQ(recalled.Json()["settings"]["lr"]["gain"], 128);
    EXPECT_EQ(rig.unit.CurrentImage(), band);

    const HttpReply erased = client.Request("DELETE", "/api/memories/3");
    ASSERT_EQ(erased.status, 200);
    EXPECT_EQ(erased.Json()["memories"][2]["used"], false);
    EXPECT_FALSE(rig.unit.Memory(3).used);

    // Record i of a memory file: used byte at 16 + 112 i + 1, name at + 16, image at + 32.
    const HttpReply download = client.Get("/api/memory-file");
    ASSERT_EQ(download.status, 200);
    EXPECT_EQ(download.headers.at("content-type"), kFile);
    EXPECT_EQ(download.headers.at("content-disposition"), "attachment; filename=\"unit.cmf\"");
    ASSERT_EQ(download.body.size(), 704u);
    EXPECT_EQ(download.body.substr(0, 8), "VNB1.00M");
    EXPECT_EQ(download.body[16 + 112 * 3 + 1], 1);
    EXPECT_EQ(download.body.substr(16 + 112 * 3 + 16, 5), std::string("Live\0", 5));
    EXPECT_EQ(static_cast<unsigned char>(download.body[16 + 112 * 3 + 32 + 1]), 90);
    EXPECT_EQ(download.body[16 + 112 * 2 + 1], 0);  // the deleted memory

    // The same file in its JSON form, and back into the unit with a memory renamed.
    const HttpReply document = client.Get("/api/memory-file.json");
    ASSERT_EQ(document.status, 200);
    EXPECT_EQ(document.headers.at("content-disposition"), "attachment; filename=\"unit.json\"");
    const nlohmann::ordered_json form = nlohmann::ordered_json::parse(document.body);
    EXPECT_EQ(MemoryFileFromJson(form), std::vector<std::uint8_t>(download.body.begin(), download.body.end()));
    nlohmann::ordered_json renamed = form;
    renamed["memories"][3]["name"] = "Encore";
    ASSERT_EQ(client.PutJson("/api/memory-file.json", renamed).status, 200);
    EXPECT_EQ(rig.unit.Memory(4).name, "Encore          ");
    EXPECT_EQ(rig.unit.Memory(4).image[1], 90);

    ImageBytes uploadedImage = DefaultImage();
    uploadedImage[1] = 33;
    std::array<RecordBytes, 6> records{};
    for (RecordBytes& record : records) record.used = 0;
    records[0] = {1, "Upload", uploadedImage};
    const std::vector<unsigned char> file = MemoryFileBytes(records);
    const HttpReply uploaded = client.Request("PUT", "/api/memory-file", std::string(file.begin(), file.end()), kFile);
    ASSERT_EQ(uploaded.status, 200) << uploaded.body;
    EXPECT_EQ(uploaded.Json()["report"].get<std::string>().rfind("1 memory stored: 1.", 0), 0u);
    EXPECT_EQ(uploaded.Json()["memories"][0]["name"], "Upload");
    EXPECT_EQ(rig.unit.Memory(1).name, "Upload          ");
    EXPECT_EQ(rig.unit.Memory(1).image, uploadedImage);
}

TEST(RemoteApi, OtherOriginsAndForeignHostNamesAreRefused)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    const std::string port = std::to_string(rig.Port());
    struct Case {
        std::string method;
        std::string target;
        Headers headers;
        int status;
    };
    const Case cases[] = {
        {"GET", "/api/state", {{"Origin", "http://evil.example"}}, 403},
        {"PUT", "/api/settings/lr/gain", {{"Origin", "http://evil.example"}}, 403},
        {"GET", "/api/state", {{"Sec-Fetch-Site", "cross-site"}}, 403},
        {"OPTIONS", "/api/state", {{"Origin", "http://evil.example"}, {"Access-Control-Request-Method", "PUT"}}, 403},
        {"GET", "/api/state", {{"Host", "evil.example:" + port}}, 403},  // a name rebound to this host
        {"GET", "/", {{"Host", "evil.example:" + port}}, 403},
        {"GET", "/api/state", {{"Origin", "http://127.0.0.1:" + port}, {"Sec-Fetch-Site", "same-origin"}}, 200},
        {"GET", "/api/state", {{"Host", "localhost:" + port}}, 200},
    };
    for (const Case& c : cases) {
        const HttpReply reply = client.Request(c.method, c.target, R"({"value":90})", kJson, c.headers);
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.target << " " << c.headers.begin()->second;
        EXPECT_EQ(reply.headers.count("access-control-allow-origin"), 0u);
    }
    EXPECT_EQ(HandshakeStatus("127.0.0.1", rig.Port(), "/api/events", {{"Origin", "http://evil.example"}}), 403);
    EXPECT_EQ(HandshakeStatus("127.0.0.1", rig.Port(), "/api/events"), 101);
    EXPECT_TRUE(rig.unit.ReceivedBytes().empty());
}

TEST(RemoteApi, BeyondTheLocalHostEveryCallAndThePushChannelNeedTheToken)
{
    RigOptions options;
    options.address = "127.0.0.2";
    options.token = "remote-test-token-0123456789";
    ServerRig rig(options);
    const std::string memoryFile(704, 'x');
    struct Call {
        std::string method;
        std::string target;
        std::string body;
        std::string type;
    };
    const Call calls[] = {
        {"GET", "/api/state", "", ""},
        {"GET", "/api/scales", "", ""},
        {"PUT", "/api/settings/lr/gain", R"({"value":90})", kJson},
        {"PUT", "/api/memories/1", R"({"name":"x"})", kJson},
        {"POST", "/api/memories/1/recall", "", ""},
        {"DELETE", "/api/memories/1", "", ""},
        {"GET", "/api/memory-file", "", ""},
        {"PUT", "/api/memory-file", memoryFile, kFile},
    };
    for (const std::string& token : {std::string(), options.token + "x", options.token.substr(1)}) {
        for (const Call& call : calls) {
            const HttpReply refused = rig.Client(token).Request(call.method, call.target, call.body, call.type);
            EXPECT_EQ(refused.status, 401) << call.method << " " << call.target << " token '" << token << "'";
            EXPECT_EQ(refused.Error(), "A valid token is required.");
            EXPECT_EQ(refused.headers.at("www-authenticate"), "Bearer");
        }
    }
    EXPECT_EQ(HandshakeStatus(options.address, rig.Port(), "/api/events"), 401);
    EXPECT_EQ(HandshakeStatus(options.address, rig.Port(), "/api/events?token=wrong-token-000000"), 401);
    EXPECT_TRUE(rig.unit.ReceivedBytes().empty()) << "a call without the token reached the unit";

    EXPECT_EQ(rig.Client("").Get("/").status, 200);  // the page holds nothing of the unit
    EXPECT_EQ(rig.Client().Get("/api/state").status, 200);
    EXPECT_EQ(rig.Client().Set("lr/gain", 90).status, 200);
    EXPECT_EQ(HandshakeStatus(options.address, rig.Port(), "/api/events?token=" + options.token), 101);
    EXPECT_FALSE(rig.TakePayloads().empty());

    // Without a token the server listens on the local host only.
    const ServeOptions open{{{"Unit 1", rig.Device()}}, "127.0.0.2", 0, "", {}};
    EXPECT_THROW(RemoteServer{open}, CommandError);
}

}  // namespace
