// Hands one received body of a known kind to its decoder and the decoded values to the satellite
// tables: the step shared by the receive thread and the raw-log decoder.
#pragma once

#include <cstdint>
#include <span>

#include "receiver/record_layout.hpp"
#include "receiver/satellite_tables.hpp"
#include "receiver/status_lines.hpp"

// `body` must be exactly kind.bodyLength bytes long.
void DispatchRecord(const RecordKindLayout& kind, std::span<const std::uint8_t> body,
                    SatelliteTables& tables, StatusLines& status,
                    ComputedSatelliteSink* sink = nullptr);
