// The receive thread's work: configure the receiver, then frame, process and log its records.
#pragma once

#include <atomic>

#include "platform/serial/win32_comm.hpp"
#include "receiver/receive_state.hpp"
#include "receiver/status_lines.hpp"

// Puts the port into the immediate-read setting and sends the receiver its four commands,
// purging before and waiting for an answer after each of the first three. Returns early only
// when the state's stop flag is set.
void ConfigureReceiver(HANDLE portHandle, ReceiveState& state);

// The listen loop: waits for line events, scans received bytes for "$PASHR" and hands every
// framed record to HandleRecord. Never returns, unless the state's stop flag is set.
void ReceiveRecords(HANDLE portHandle, HANDLE logHandle, StatusLines& status, ReceiveState& state);

// One framed record, right after its prefix: header, body, tables, trailer test, raw log entry,
// header on status line 1. Leaves the port in the immediate-read setting.
void HandleRecord(HANDLE portHandle, HANDLE logHandle, StatusLines& status, ReceiveState& state);

// The body of the receive thread: empty tables, ConfigureReceiver, ReceiveRecords. Returns only
// after `stop` became true; whoever sets it then calls CancelPortWait(port) to wake the thread.
void RunReceiveThread(HANDLE port, HANDLE log, StatusLines& status, const std::atomic<bool>& stop);
