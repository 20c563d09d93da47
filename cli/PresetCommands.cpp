#include "PresetCommands.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "CommandError.h"
#include "MemoryFileAccess.h"
#include "memfile/MemoryFileJson.h"

namespace {

using json = nlohmann::ordered_json;

void Export(const std::string& path, const std::string& out)
{
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    CheckMemoryFileBytes(path, bytes);
    const std::string text = MemoryFileJsonText(bytes);
    if (out.empty())
        std::cout << text;
    else
        WriteWholeFile(out, text);
}

json ReadJsonFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CommandError(kExitBadInput, "Cannot open file " + path);
    try {
        return json::parse(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const json::parse_error& e) {
        throw CommandError(kExitBadInput, path + " is not JSON: " + e.what());
    }
}

// Nothing is written unless the whole document is good.
void Import(const std::string& path, const std::string& out)
{
    std::vector<std::uint8_t> bytes;
    try {
        bytes = MemoryFileFromJson(ReadJsonFile(path));
    } catch (const JsonDocumentError& e) {
        throw CommandError(kExitBadInput, path + ": " + e.what());
    }
    WriteMemoryFile(out, bytes);
}

struct PresetArgs {
    std::string in;
    std::string out;
};

}  // namespace

void AddPresetCommands(CLI::App& app, CommandAction& action)
{
    auto args = std::make_shared<PresetArgs>();
    CLI::App* exporter = app.add_subcommand(
        "export", "Write a memory file as JSON in units, keeping every byte (to standard output without OUT)");
    exporter->add_option("FILE", args->in, "memory file (.cmf)")->required();
    exporter->add_option("OUT", args->out, "JSON file to write");
    exporter->callback([&action, args] { action = [args] { Export(args->in, args->out); }; });

    CLI::App* importer = app.add_subcommand("import", "Write the memory file that a JSON document describes");
    importer->add_option("IN", args->in, "JSON document, as export writes it")->required();
    importer->add_option("OUT", args->out, "memory file (.cmf) to write")->required();
    importer->callback([&action, args] { action = [args] { Import(args->in, args->out); }; });
}
