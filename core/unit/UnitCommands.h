// The unit's commands, each one synchronous exchange on the serial line.
//
// Every frame is preceded by the attention byte, which the unit answers
// with "P". Results: 0 done, 1 not connected (nothing went on the line),
// 3 no answer within the step's time-out, or a wrong answer (also when the
// link was cancelled). Whatever the result, the link's recogniser is idle
// again afterwards. "Connected" is the `connected` field of the link's model.
// Memory slots are 1..6; while connected, a command for any other slot
// sends nothing and gives 3.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/Frame.h"

class Link;

inline constexpr int kResultDone = 0;
inline constexpr int kResultNotConnected = 1;
inline constexpr int kResultNoAnswer = 3;

// Attention byte, then the frame, each acknowledged within a step's time-out.
int SendFramed(Link& link, const std::uint8_t* frame, int length);
// The two-byte payload [code, value], framed and sent.
int SendCommand(Link& link, std::uint8_t code, std::uint8_t value);

// Which step of the handshake failed.
enum class HandshakeFailure {
    None,
    NoAttentionAnswer,     // nothing came back to the attention byte
    WrongAttentionAnswer,  // bytes came back, but no "P" among them
    NoConnectAnswer,       // "P" came, but no 16-byte answer to the connect frame
    WrongConnectAnswer,    // the connect answer does not start with "Q"
    Cancelled,             // the link was cancelled
};

struct Handshake {
    HandshakeFailure failure = HandshakeFailure::None;
    int firstByte = -1;  // the first byte that came back to the failed step; -1 for none
    std::array<std::uint8_t, kConnectReplySize> reply{};  // the connect answer, once it came
};

// The handshake: the attention byte, then the connect frame, whose 16-byte
// answer must start with "Q". Gives up at the first step that fails.
Handshake UnitHandshake(Link& link);
// What went wrong, for the person: "no answer to the attention byte: check
// the cable, the unit's power and the port". Empty when nothing did.
std::string DescribeHandshakeFailure(const Handshake& handshake);

// The handshake; reply16 receives the 16-byte answer, which must start with "Q". 0 or 3.
int UnitConnect(Link& link, std::uint8_t* reply16);
// Tells the unit the program leaves; any answer is ignored. Always 0.
int UnitDisconnect(Link& link);
// The unit's current setting as a 62-byte memory image.
int UnitReadCurrent(Link& link, std::uint8_t* image62);
// reply18: byte 1 the used flag, bytes 2..17 the blank-padded name.
int UnitReadMemoryName(Link& link, int slot, std::uint8_t* reply18);
// Stores the 64-byte image block under the sixteen characters of name16;
// on success the memory directory entry is updated.
int UnitStoreMemory(Link& link, int slot, const char* name16, const std::uint8_t* imageBlock64);
// mode 0 recalls the slot (the unit takes it as its setting), any other mode only reads it.
int UnitReadMemory(Link& link, int slot, std::uint8_t* image62, int mode);
int UnitDeleteMemory(Link& link, int slot);
// Sends the first sixteen characters of each line of logoText.
int UnitWriteLogo(Link& link);

// The parameter message of `id`, its payload read from the link's model:
// framed and sent. An id that is not a parameter id sends nothing and gives 3.
int SendParameter(Link& link, int id);
