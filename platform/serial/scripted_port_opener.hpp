// The one seam for a device that exists only inside a test program. A port whose device is named
// "scripted:<name>" (in SATLOG_COMn) is opened by the opener a test program installed; the shipped
// programs install none, and such a port fails to open with that cause.
#pragma once

#include <string>

#include "platform/serial/comm_object.hpp"

namespace serial_detail {

// Opens the device registered under `name`, or returns nullptr with the cause in `failure`.
using ScriptedPortOpener = CommObject* (*)(const std::string& name, OpenFailure& failure);

// Installs `opener` for every later open of a "scripted:" port; nullptr removes it.
void InstallScriptedPortOpener(ScriptedPortOpener opener);

}  // namespace serial_detail
