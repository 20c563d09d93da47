// Fixture: a link opened on the device of an in-process emulated
// unit, with a fresh parameter model.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "emulator/Emulator.h"
#include "link/Frame.h"
#include "link/Link.h"
#include "model/MemoryImage.h"
#include "model/Model.h"

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
    void SetUp() override
    {
        LoadDefaults(model);
        ASSERT_TRUE(unit_.Start());
        link.SetDevice(unit_.DevicePath());
        ASSERT_TRUE(link.Open());
    }
    void TearDown() override
    {
        link.Close();
        unit_.Stop();
    }
    // Marks the program connected without the handshake, as after a connect.
    void Connected() { model.connected = 1; }

    Rx74Emulator unit_;
    ParameterModel model{};
    Link link{model};
};
