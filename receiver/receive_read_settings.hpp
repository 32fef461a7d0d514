// The two read settings the receive thread switches the port between. Each switch reads the
// port's time-outs, replaces the three read fields and writes the record back, so the write
// fields stay as the port had them.
#pragma once

#include "platform/serial/win32_comm.hpp"
#include "receiver/receive_state.hpp"

// While scanning for a prefix: a read returns at once with the bytes already received.
void UseImmediateReads(HANDLE portHandle, ReceiveState& state);

// While reading a record's header and body: a read waits without limit for its first byte, then
// returns when the count has arrived or no byte came within 50 ms of the previous one.
void UseRecordReads(HANDLE portHandle, ReceiveState& state);

inline constexpr DWORD kRecordByteGapMs = 50;
