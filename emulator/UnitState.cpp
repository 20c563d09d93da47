#include "emulator/UnitState.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace rx74emu {
namespace {

// Channel block offsets.
constexpr std::size_t kFlags = 0;  // bit 7 mute, 6 polarity, 5 crossover on, 0..2 PEQ flat
constexpr std::size_t kGain = 1;
constexpr std::size_t kDelay = 2;  // two bytes, high first
constexpr std::size_t kPeqGain = 16;
constexpr std::size_t kPeqBandwidth = 19;
constexpr std::size_t kPeqFreq = 22;  // two bytes per band
constexpr std::size_t kShelves = 28;

constexpr std::uint8_t kMuteBit = 0x80, kPolarityBit = 0x40, kCrossoverBit = 0x20;

constexpr std::uint8_t kFactoryBlock[kBlockBytes] = {0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B,
                                                     0x0A, 0x0A, 0x0A, 0x69, 0x2B, 0x80, 0x80, 0x80, 0x19, 0x19, 0x19,
                                                     0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};

// How a parameter message changes the setting.
enum class Edit { Level, Polarity, Delay, CrossoverOn, Byte, Filter, PeqBand, Reset };

struct Message {
    std::uint8_t code;
    Edit edit;
    std::size_t block;   // 0 or kSubBlock
    std::size_t where;   // block offset for Byte and Filter, band for PeqBand
    std::size_t length;  // payload length including the code
};

constexpr Message kMessages[] = {
    {211, Edit::Level, 0, 0, 3},          {212, Edit::Level, 0, 0, 3},          {4, Edit::Level, kSubBlock, 0, 3},
    {232, Edit::Level, kSubBlock, 0, 3},  {127, Edit::Polarity, 0, 0, 3},       {84, Edit::Polarity, kSubBlock, 0, 3},
    {122, Edit::Delay, 0, 0, 3},          {79, Edit::Delay, kSubBlock, 0, 3},   {213, Edit::CrossoverOn, 0, 0, 3},
    {129, Edit::Byte, 0, 10, 3},          {85, Edit::Byte, kSubBlock, 10, 3},   // limiter threshold
    {162, Edit::Byte, 0, 11, 3},          {118, Edit::Byte, kSubBlock, 11, 3},  // attack
    {164, Edit::Byte, 0, 12, 3},          {120, Edit::Byte, kSubBlock, 12, 3},  // hold
    {165, Edit::Byte, 0, 13, 3},          {121, Edit::Byte, kSubBlock, 13, 3},  // decay
    {59, Edit::Filter, 0, 4, 5},          {69, Edit::Filter, 0, 7, 5},          // high and low pass
    {39, Edit::Filter, kSubBlock, 4, 5},  {49, Edit::Filter, kSubBlock, 7, 5},  {5, Edit::PeqBand, 0, 0, 7},
    {10, Edit::PeqBand, 0, 1, 7},         {15, Edit::PeqBand, 0, 2, 7},         {24, Edit::PeqBand, kSubBlock, 0, 7},
    {29, Edit::PeqBand, kSubBlock, 1, 7}, {34, Edit::PeqBand, kSubBlock, 2, 7}, {250, Edit::Reset, 0, 0, 3},
};

const Message* FindMessage(std::uint8_t code)
{
    for (const Message& m : kMessages)
        if (m.code == code) return &m;
    return nullptr;
}

void SetBit(std::uint8_t& byte, std::uint8_t bit, bool on) { byte = on ? (byte | bit) : (byte & ~bit); }

void ApplyPeqBand(std::uint8_t* block, std::size_t band, const std::vector<std::uint8_t>& p)
{
    block[kPeqGain + band] = p[1];
    block[kPeqBandwidth + band] = p[2];
    block[kPeqFreq + 2 * band] = p[3];
    block[kPeqFreq + 2 * band + 1] = p[4];
    SetBit(block[kFlags], static_cast<std::uint8_t>(1u << band), p[5] != 0);
    block[kShelves] = p[6];
}

std::string Hex(const std::uint8_t* bytes, std::size_t n)
{
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

bool FromHex(const std::string& text, std::uint8_t* out, std::size_t n)
{
    if (text.size() != 2 * n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned value = 0;
        for (char c : text.substr(2 * i, 2)) {
            int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        out[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

constexpr const char* kStateHeader = "rx74-emulator-state 1";

// One line of the state file: "memory SLOT USED NAME-HEX IMAGE-HEX".
// Returns the slot it filled, 0 when the line is not sound.
int ParseMemoryLine(std::istringstream& line, UnitState& into)
{
    int slot = 0, used = -1;
    std::string name, image;
    if (!(line >> slot >> used >> name >> image) || !ValidSlot(slot) || (used != 0 && used != 1)) return 0;
    EmulatedMemory& m = into.memories[static_cast<std::size_t>(slot - 1)];
    m.used = used == 1;
    m.name.assign(Rx74Emulator::kNameBytes, ' ');
    const bool sound = FromHex(name, reinterpret_cast<std::uint8_t*>(m.name.data()), Rx74Emulator::kNameBytes) &&
                       FromHex(image, m.image.data(), m.image.size());
    return sound ? slot : 0;
}

}  // namespace

Image FactoryImage()
{
    Image image{};
    std::copy(std::begin(kFactoryBlock), std::end(kFactoryBlock), image.begin());
    std::copy(std::begin(kFactoryBlock), std::end(kFactoryBlock), image.begin() + kSubBlock);
    return image;
}

std::string PadName(const std::string& name)
{
    std::string padded = name.substr(0, Rx74Emulator::kNameBytes);
    padded.resize(Rx74Emulator::kNameBytes, ' ');
    return padded;
}

std::string DefaultMemoryName(int slot) { return PadName("Preset " + std::to_string(slot)); }

std::array<EmulatedMemory, Rx74Emulator::kMemorySlots> UnitState::FactoryMemories()
{
    std::array<EmulatedMemory, Rx74Emulator::kMemorySlots> memories;
    for (int slot = 1; slot <= Rx74Emulator::kMemorySlots; ++slot)
        memories[static_cast<std::size_t>(slot - 1)] = {true, DefaultMemoryName(slot), FactoryImage()};
    return memories;
}

void UnitState::FactoryReset()
{
    current = FactoryImage();
    memories = FactoryMemories();
}

bool UnitState::ApplyParameter(const std::vector<std::uint8_t>& p)
{
    const Message* m = p.empty() ? nullptr : FindMessage(p[0]);
    if (!m || p.size() != m->length) return false;
    std::uint8_t* block = current.data() + m->block;
    switch (m->edit) {
        case Edit::Level:
            block[kGain] = p[1];
            SetBit(block[kFlags], kMuteBit, p[2] != 0);
            break;
        case Edit::Polarity:
            SetBit(block[kFlags], kPolarityBit, p[1] != 0);
            break;
        case Edit::CrossoverOn:
            SetBit(block[kFlags], kCrossoverBit, p[1] != 0);
            break;
        case Edit::Delay:  // the message carries the low byte only
            block[kDelay] = 0;
            block[kDelay + 1] = p[1];
            break;
        case Edit::Byte:
            block[m->where] = p[1];
            break;
        case Edit::Filter:  // type, then the frequency index high and low
            block[m->where] = p[1];
            block[m->where + 1] = p[2];
            block[m->where + 2] = p[3];
            break;
        case Edit::PeqBand:
            ApplyPeqBand(block, m->where, p);
            break;
        case Edit::Reset:
            if (p[1] != 0x10 || p[2] != 0x23) return false;  // the reset carries a fixed key
            FactoryReset();
            break;
    }
    return true;
}

bool UnitState::Save(const std::string& path) const
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << kStateHeader << "\ncurrent " << Hex(current.data(), current.size()) << "\n";
        for (std::size_t i = 0; i < memories.size(); ++i) {
            const EmulatedMemory& m = memories[i];
            const std::string name = PadName(m.name);
            out << "memory " << i + 1 << ' ' << (m.used ? 1 : 0) << ' '
                << Hex(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()) << ' '
                << Hex(m.image.data(), m.image.size()) << "\n";
        }
        out << "logo " << Hex(reinterpret_cast<const std::uint8_t*>(logo.data()), logo.size()) << "\n";
        out.flush();
        if (!out) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool UnitState::Load(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    if (!in || !std::getline(in, text) || text != kStateHeader) return false;
    UnitState loaded = *this;
    std::array<bool, Rx74Emulator::kMemorySlots> memorySeen{};
    bool currentSeen = false, logoSeen = false;
    while (std::getline(in, text)) {
        std::istringstream line(text);
        std::string key, value;
        line >> key;
        if (key == "memory") {
            const int slot = ParseMemoryLine(line, loaded);
            if (slot == 0) return false;
            memorySeen[static_cast<std::size_t>(slot - 1)] = true;
        } else if (key == "current") {
            if (!(line >> value) || !FromHex(value, loaded.current.data(), loaded.current.size())) return false;
            currentSeen = true;
        } else if (key == "logo") {
            loaded.logo.assign(Rx74Emulator::kLogoBytes, ' ');
            if (!(line >> value) ||
                !FromHex(value, reinterpret_cast<std::uint8_t*>(loaded.logo.data()), Rx74Emulator::kLogoBytes))
                return false;
            logoSeen = true;
        } else if (!key.empty()) {
            return false;
        }
    }
    const bool allMemories = std::all_of(memorySeen.begin(), memorySeen.end(), [](bool seen) { return seen; });
    if (!currentSeen || !logoSeen || !allMemories) return false;
    *this = loaded;
    return true;
}

}  // namespace rx74emu
