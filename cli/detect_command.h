#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// marrowdeck-cli detect [--report FILE] [--json] [--switch]: what the system shows of
// Motorola devices (sysfs, nodes, udev rule, modem ports, network adapters), then a probe
// that writes nothing when the Test Command interface opens. Mode switches are made only
// with --switch. Exit code 0 when a phone answered the probe. MARROWDECK_DETECT_ROOT
// replaces "/" as the root of /sys, /dev, /etc and /usr (tests).
void runDetect(Session& session, const std::vector<std::string>& args);

}  // namespace mdk::cli
