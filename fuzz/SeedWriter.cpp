// Writes the seed corpora of the fuzz targets from real traffic: every
// operation the program performs is run through the transport against the
// emulated unit, and what each side sent is kept, together with images and
// memory files made by the program's own code.
//
//   fuzz_seed_writer <corpus directory>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/Emulator.h"
#include "fuzz/ReplySteps.h"
#include "link/Frame.h"
#include "link/Link.h"
#include "link/ParameterMessages.h"
#include "memfile/MemoryFile.h"
#include "model/MemoryImage.h"
#include "model/Model.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The model and link the seeds are recorded with.
ParameterModel model{};
Link seedLink{model};

// One program operation and the steps it takes: each step's expected-reply
// code and the size of the unit's answer to it.
struct Operation {
    std::string name;
    std::function<void()> run;
    std::vector<std::pair<int, std::size_t>> steps;
};

std::vector<std::pair<int, std::size_t>> Repeat(std::vector<std::pair<int, std::size_t>> steps, int times)
{
    std::vector<std::pair<int, std::size_t>> all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), steps.begin(), steps.end());
    return all;
}

std::vector<Operation> Operations()
{
    const std::pair<int, std::size_t> attention{kReplyP, 1};
    const std::pair<int, std::size_t> ack{kReplyQ, 1};
    std::vector<std::pair<int, std::size_t>> connect{attention, {ReplyBlock(kConnectReplySize), kConnectReplySize}};
    const auto names = Repeat({attention, {ReplyBlock(kMemoryNameReplySize), kMemoryNameReplySize}}, kMemorySlots);
    connect.insert(connect.end(), names.begin(), names.end());
    connect.insert(connect.end(), {attention, {ReplyBlock(kImageReplySize), kImageReplySize}});
    return {
        {"connect-sequence", [] { ConnectUnit(seedLink, {}); }, connect},
        {"parameter-messages",
         [] {
             for (const int id : kAllParameterIds) SendParameter(seedLink, id);
         },
         Repeat({attention, ack}, static_cast<int>(std::size(kAllParameterIds)))},
        {"store-memory",
         [] { StoreMemorySlot(seedLink, 3, "Seed store"); },
         {attention, {kReplyAny, 1}, {kReplyS, 1}, {ReplyBlock(kStoreNameReplySize), kStoreNameReplySize}}},
        {"recall-memory",
         [] { RecallMemorySlot(seedLink, 3); },
         {attention, {ReplyBlock(kImageReplySize), kImageReplySize}}},
        {"write-logo", [] { WriteLogo(seedLink, "Quenbar seed", "line two"); }, {attention, {kReplyAny, 1}, ack}},
        {"delete-memory", [] { DeleteMemorySlot(seedLink, 3); }, {attention, ack}},
        {"disconnect", [] { DisconnectUnit(seedLink); }, {attention, {kReplyIdle, 1}}},
    };
}

void WriteFile(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The unit's answers cut into the operation's steps: once as one chunk per
// step, once a byte at a time, as a slow adapter delivers them.
void WriteReplySeeds(const fs::path& dir, const Operation& op, const Bytes& answers)
{
    std::vector<ReplyStep> whole, bytewise;
    std::size_t at = 0;
    for (const auto& [code, size] : op.steps) {
        const Bytes answer(answers.begin() + static_cast<std::ptrdiff_t>(std::min(at, answers.size())),
                           answers.begin() + static_cast<std::ptrdiff_t>(std::min(at + size, answers.size())));
        at += size;
        whole.push_back({code, {answer}});
        ReplyStep split{code, {}};
        for (const std::uint8_t byte : answer) split.chunks.push_back({byte});
        bytewise.push_back(std::move(split));
    }
    if (at != answers.size())
        std::fprintf(stderr, "%s: %zu answer bytes, steps expect %zu\n", op.name.c_str(), answers.size(), at);
    WriteFile(dir / op.name, EncodeReplySteps(whole));
    WriteFile(dir / (op.name + "-bytewise"), EncodeReplySteps(bytewise));
}

Bytes ModelImage()
{
    Bytes image(kImageSize);
    ModelToImage(model, image.data());
    return image;
}

// Images: the defaults, the unit's setting after a connect, and the
// unpack's range edges (gain 0 and 200, frequency 400, bandwidth byte 50).
void WriteImageSeeds(const fs::path& dir, const Bytes& unitImage)
{
    model = ParameterModel{};
    LoadDefaults(model);
    const Bytes defaults = ModelImage();
    WriteFile(dir / "defaults", defaults);
    WriteFile(dir / "unit-current", unitImage);
    Bytes edges = defaults;
    edges[1] = 0;
    edges[31 + 1] = 200;
    edges[5] = 0x01, edges[6] = 0x90;
    edges[19] = 50;
    WriteFile(dir / "range-edges", edges);
}

void WriteMemoryFileSeeds(const fs::path& dir, const MemoryFileImage& fromUnit)
{
    const Bytes file(fromUnit.begin(), fromUnit.end());
    WriteFile(dir / "saved-from-unit", file);
    WriteFile(dir / "trailer-missing", Bytes(file.begin(), file.begin() + 690));
    model = ParameterModel{};
    LoadDefaults(model);
    // Not connected: every record holds the current setting (a save would refuse such a file).
    const MemoryFileImage offline = ReadMemoryFileFromUnit(seedLink).bytes;
    WriteFile(dir / "saved-offline", Bytes(offline.begin(), offline.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    Rx74Emulator unit;
    std::mutex answersMutex;
    Bytes answers;
    unit.OnTraffic([&](bool incoming, const std::uint8_t* bytes, std::size_t n) {
        if (incoming) return;
        std::lock_guard lock(answersMutex);
        answers.insert(answers.end(), bytes, bytes + n);
    });
    model = ParameterModel{};
    LoadDefaults(model);
    if (!unit.Start()) return 1;
    seedLink.SetDevice(unit.DevicePath());
    if (!seedLink.Open()) return 1;

    Bytes everything;
    for (const Operation& op : Operations()) {
        unit.ClearReceived();
        {
            std::lock_guard lock(answersMutex);
            answers.clear();
        }
        op.run();
        // The unit reports its last answer just after writing it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const Bytes sent = unit.ReceivedBytes();
        WriteFile(root / "emulator_wire" / op.name, sent);
        everything.insert(everything.end(), sent.begin(), sent.end());
        std::lock_guard lock(answersMutex);
        WriteReplySeeds(root / "reply_recogniser", op, answers);
        if (op.name == "connect-sequence") {
            const auto image = unit.CurrentImage();
            WriteImageSeeds(root / "image_model", Bytes(image.begin(), image.end()));
            model.connected = 1;
        }
    }
    WriteFile(root / "emulator_wire" / "session", everything);

    ConnectUnit(seedLink, {});
    WriteMemoryFileSeeds(root / "memory_file", ReadMemoryFileFromUnit(seedLink).bytes);
    DisconnectUnit(seedLink);
    seedLink.Close();
    unit.Stop();
    return 0;
}
