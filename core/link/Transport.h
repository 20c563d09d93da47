// The serial line to the unit: one port, a receive thread that recognises
// the unit's answers, and a wait with a time-out for the answer a sender
// expects.
//
// A sender sets g_expectedReply, raises g_replyPending, writes, and waits
// with CommWaitReply. The receive thread advances g_expectedReply and clears
// g_replyPending once the awaited byte or block has arrived; a block answer
// is complete in g_replyBuffer before the flag clears.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

inline constexpr int kReplyBufferSize = 500;

// Expected-reply codes.
inline constexpr int kReplyIdle = 0;
inline constexpr int kReplyAny = 1;   // the first byte of any value ends the wait
inline constexpr int kReplyP = 0x50;  // attention acknowledged
inline constexpr int kReplyQ = 0x51;  // frame acknowledged
inline constexpr int kReplyS = 0x53;  // store image block acknowledged
inline constexpr int ReplyBlock(int bytes) { return 256 + bytes; }

inline constexpr int kStepTimeoutMs = 1000;
inline constexpr int kDisconnectTimeoutMs = 200;

extern std::atomic<int> g_expectedReply;
extern std::atomic<int> g_replyPending;
extern std::uint8_t g_replyBuffer[kReplyBufferSize];

// Allocates the port record. 1 on success, -1 on failure.
int CommInit();
// Names the device that the next CommOpen opens (a resolved device path).
void CommSetPortDevice(const std::string& device);
// Opens the named device and starts the receive thread: non-zero on success.
int CommOpen();
// Applies 57600 baud, 8N1, raw, no flow control: non-zero on success.
int CommSetup();
// Stops the receive thread and closes the port. Always 1.
int CommClose();
// CommClose if needed, then releases the port record. Always 1.
int CommShutdown();
// Non-blocking drain of what the driver has queued; the byte count.
int CommRead(std::uint8_t* destination, int maxBytes);
// Queues bytes for sending. Always 1.
int CommWrite(const std::uint8_t* bytes, int count);
// Sleeps until g_replyPending is 0 (returns 0) or the time-out passes (returns 1).
// On a line whose device went away it returns 1 at once: no answer can come.
int CommWaitReply(int timeoutMs);
// True while a port is open.
bool CommIsOpen();

// Starts one exchange step: forgets the bytes collected so far (a late or
// stray byte must not answer this step), sets g_expectedReply and raises
// g_replyPending. Called before the step's bytes are written.
void CommBeginStep(int expectedReply);
// Copies the first `count` bytes of the last completed block answer. The
// receive thread never writes the buffer while this copies.
void CommCopyReply(std::uint8_t* destination, int count);
