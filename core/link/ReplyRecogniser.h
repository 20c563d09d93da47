// The reply recogniser's entry point: the receive thread hands it every
// chunk it reads from the port. It is callable without a port, so that a
// test or a fuzzer can feed it the unit's answers directly; the sender's
// side (CommBeginStep, CommWaitReply, CommCopyReply) is in link/Transport.h.
#pragma once

#include <cstdint>

// Takes `count` (> 0) received bytes: collects them towards the answer that
// g_expectedReply awaits, completes the step when it has arrived, and wakes
// a waiting sender.
void RecogniseChunk(const std::uint8_t* chunk, int count);
