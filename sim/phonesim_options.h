#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/phone_model.h"
#include "sim/sim_phone.h"

namespace mdk::sim {

// The command line of marrowdeck-phonesim.
struct PhonesimOptions {
    std::string listen;  // emulator socket address: unix:PATH or tcp:HOST:PORT
    std::string usblan;  // USBLAN server address: tcp:127.0.0.1:PORT
    PhoneKind kind = PhoneKind::P2k05Gsm;
    std::string model;  // empty: the kind's default model name
    uint32_t latencyMs = 0;
    std::string root;       // folder with the phone's volumes; empty: the sample phone
    std::string dumpState;  // file written with the phone's state on exit
    uint32_t stride = kStrideWide;
    std::optional<uint32_t> recordsPerBlock;
    std::optional<uint32_t> freeBytes;  // every volume's free space, when given
    bool modem = false;                 // start in modem mode on a pseudo-terminal
    std::string usblanCommand = "at+mode=13";
    Faults faults;
};

// Parses the arguments after the program name. False with error set on a bad or missing
// argument (the caller prints the usage and exits with 2).
bool parsePhonesimOptions(const std::vector<std::string>& args, PhonesimOptions& options,
                          std::string& error);
std::string phonesimUsage();
// The kind's model name when none was given: "V3 RAZR", or "ROKR E6" for a Linux phone.
std::string defaultModelName(PhoneKind kind);

}  // namespace mdk::sim
