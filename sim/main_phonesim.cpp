// marrowdeck-phonesim: a simulated Motorola P2k phone served over the emulator socket.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/phone_model.h"
#include "sim/sim_phone.h"
#include "sim/socket_server.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

int usage() {
    std::fprintf(stderr,
                 "usage: marrowdeck-phonesim --listen unix:PATH|tcp:HOST:PORT [options]\n"
                 "  --kind classic|p2k05|cdma   phone kind (default p2k05)\n"
                 "  --model TEXT                model name (default \"V3 RAZR\")\n"
                 "  --latency MS                delay before each reply (default 0)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mdk::sim;
    std::string listen;
    std::string model = "V3 RAZR";
    PhoneKind kind = PhoneKind::P2k05Gsm;
    uint32_t latency = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* value = nullptr;
        if (arg == "--listen" && (value = next())) {
            listen = value;
        } else if (arg == "--model" && (value = next())) {
            model = value;
        } else if (arg == "--latency" && (value = next())) {
            latency = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--kind" && (value = next())) {
            std::string k = value;
            if (k == "classic") kind = PhoneKind::ClassicGsm;
            else if (k == "p2k05") kind = PhoneKind::P2k05Gsm;
            else if (k == "cdma") kind = PhoneKind::Cdma;
            else return usage();
        } else {
            return usage();
        }
    }
    if (listen.empty()) return usage();

    PhoneModel phoneModel(kind, model);
    SimPhone phone(phoneModel);
    SocketServer server(phone, latency);
    std::string error;
    if (!server.listen(listen, error)) {
        std::fprintf(stderr, "ERROR: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    server.start();
    std::fprintf(stderr, "marrowdeck-phonesim: %s phone \"%s\" listening on %s\n",
                 kind == PhoneKind::Cdma ? "CDMA" : "GSM", model.c_str(), listen.c_str());
    while (!gStop) ::pause();
    server.stop();
    return 0;
}
