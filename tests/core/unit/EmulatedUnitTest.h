// Fixture: a fresh parameter model at its defaults and a link opened on an
// emulated unit, in memory unless a test needs real time on the line.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "link/Frame.h"
#include "model/MemoryImage.h"
#include "tests/support/UnitBehindLink.h"

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

inline long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// What the unit should see for one framed step: the attention byte, then the frame.
inline Bytes AttentionAndFrame(const Bytes& payload)
{
    Bytes bytes{kAttentionByte};
    const Bytes frame = FrameOf(payload);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The image of a model as it stands.
inline std::array<std::uint8_t, 62> ModelImage(const ParameterModel& model)
{
    std::array<std::uint8_t, 62> image{};
    ModelToImage(model, image.data());
    return image;
}

class EmulatedUnitTest : public ::testing::Test {
protected:
    explicit EmulatedUnitTest(UnitBehindLink::Wire wire = UnitBehindLink::Wire::InMemory) : rig_(wire) {}
    void SetUp() override
    {
        LoadDefaults(model);
        ASSERT_TRUE(rig_.Open());
    }
    // Marks the program connected without the handshake, as after a connect.
    void Connected() { model.connected = 1; }

    UnitBehindLink rig_;
    rx74emu::EmulatedUnit& unit_ = rig_.Unit();
    ParameterModel& model = rig_.Model();
    Link& link = rig_.LinkToUnit();
};
