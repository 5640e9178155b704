// marrowdeck-phonesim: a simulated Motorola phone, served over the emulator socket (its USB
// driver), over USBLAN (P2k05 over TCP) and, in modem mode, on a pseudo-terminal.
//
// On start it prints to standard output one line per service, "listen ADDRESS",
// "usblan tcp:127.0.0.1:PORT" and "modem /dev/pts/N", then "ready". It runs until SIGINT
// or SIGTERM and then writes the --dump-state file.
#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/modem_pty.h"
#include "sim/phone_model.h"
#include "sim/phonesim_options.h"
#include "sim/root_folder.h"
#include "sim/sample_phone.h"
#include "sim/sim_phone.h"
#include "sim/socket_server.h"
#include "sim/state_dump.h"
#include "sim/usblan_server.h"

namespace {

using namespace mdk::sim;

int fail(const std::string& message) {
    std::fprintf(stderr, "ERROR: %s\n", message.c_str());
    return 1;
}

bool fillPhone(PhoneModel& model, const PhonesimOptions& options, std::string& error) {
    if (options.root.empty()) {
        loadSamplePhone(model);
    } else {
        std::vector<std::string> warnings;
        const bool loaded = loadRootFolder(model, options.root, error, warnings);
        for (const auto& warning : warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
        if (!loaded) return false;
        if (model.kind() == PhoneKind::Linux) addBluetoothConfig(model);
        addSampleSeems(model);
    }
    if (options.freeBytes) {
        for (const VolumeInfo& volume : model.volumes()) {
            uint64_t used = 0;
            for (const PhoneEntry& entry : model.files()) {
                if (entry.path.compare(0, volume.name.size() + 1, volume.name + "/") == 0) {
                    used += entry.size;
                }
            }
            model.addVolume(volume.name, static_cast<uint32_t>(std::min<uint64_t>(
                                             used + *options.freeBytes, 0xFFFFFFFFu)));
        }
    }
    model.setRecordStride(options.stride);
    if (options.recordsPerBlock) model.setRecordsPerBlock(*options.recordsPerBlock);
    return true;
}

// SIGINT and SIGTERM are blocked in every thread and taken by sigwait in main.
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(phonesimUsage().c_str(), stdout);
        return 0;
    }
    PhonesimOptions options;
    std::string error;
    if (!parsePhonesimOptions(args, options, error)) {
        std::fprintf(stderr, "marrowdeck-phonesim: %s\n%s", error.c_str(), phonesimUsage().c_str());
        return 2;
    }
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    PhoneModel model(options.kind, options.model);
    if (!fillPhone(model, options, error)) return fail(error);
    SimPhone phone(model);
    phone.setFaults(options.faults);
    if (options.modem) phone.setInterfaceUp(false);

    SocketServer server(phone, options.latencyMs);
    if (!options.listen.empty()) {
        if (!server.listen(options.listen, error)) return fail(error);
        server.setBringUpOnConnect(!options.modem);
        server.start();
        std::printf("listen %s\n", options.listen.c_str());
    }
    UsblanServer usblan(model, options.latencyMs);
    usblan.setSilent(options.faults.silentUsblan);
    usblan.setEndlessReads(options.faults.endlessReads);
    if (!options.usblan.empty()) {
        if (!usblan.bind(options.usblan, error)) return fail(error);
        if (!options.modem && !usblan.start(error)) return fail(error);
        std::printf("usblan tcp:127.0.0.1:%d\n", usblan.port());
    }
    ModemPty modem;
    if (options.modem) {
        if (!modem.open(error)) return fail(error);
        modem.setUsblanCommand(options.usblanCommand);
        modem.setModelName(model.modelName());
        modem.onP2kMode([&] { phone.setInterfaceUp(true); });
        modem.onUsblanMode([&] {
            std::string startError;
            if (!options.usblan.empty() && !usblan.start(startError)) {
                std::fprintf(stderr, "ERROR: %s\n", startError.c_str());
            }
        });
        modem.start();
        std::printf("modem %s\n", modem.slavePath().c_str());
    }
    std::fprintf(stderr, "marrowdeck-phonesim: %s phone \"%s\"\n", kindName(model.kind()),
                 model.modelName().c_str());
    std::printf("ready\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&signals, &signal);
    modem.stop();
    server.stop();
    usblan.stop();
    if (!options.dumpState.empty() && !writeState(model, options.dumpState, error)) {
        return fail(error);
    }
    return 0;
}
