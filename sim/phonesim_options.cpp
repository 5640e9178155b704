#include "sim/phonesim_options.h"

namespace mdk::sim {
namespace {

constexpr uint32_t kMaxLatencyMs = 60000;
constexpr uint8_t kDefaultErrorStatus = 0x0E;

// A decimal number in [low, high]; nothing else in the text.
std::optional<uint32_t> number(const std::string& text, uint32_t low, uint32_t high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return static_cast<uint32_t>(value);
}

// NAME or NAME=N.
bool parseFault(const std::string& text, Faults& faults, std::string& error) {
    const size_t eq = text.find('=');
    const std::string name = text.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
    auto count = [&](uint32_t fallback, uint32_t low, uint32_t high) -> std::optional<uint32_t> {
        return eq == std::string::npos ? std::optional<uint32_t>(fallback)
                                       : number(value, low, high);
    };
    std::optional<uint32_t> n;
    if (name == "stale-sequence" && eq == std::string::npos) {
        faults.staleSequence = true;
    } else if (name == "stale-sequence" && (n = number(value, 1, 1000000))) {
        faults.staleSequenceAt = static_cast<int>(*n);
    } else if (name == "refuse-p2k05" && eq == std::string::npos) {
        faults.refuseP2k05 = true;
    } else if (name == "three-waiting" && (n = count(1, 1, 1000))) {
        faults.threeWaitingPolls = static_cast<int>(*n);
    } else if (name == "error-status" && (n = count(kDefaultErrorStatus, 1, 15)) && *n != 6 &&
               *n != 8) {
        faults.errorStatus = static_cast<uint8_t>(*n);
    } else if (name == "fail-write" && (n = number(value, 1, 1000000))) {
        faults.failWriteAt = static_cast<int>(*n);
    } else if (name == "corrupt-read" && eq == std::string::npos) {
        faults.corruptReads = true;
    } else if (name == "fail-read" && (n = number(value, 1, 1000000))) {
        faults.failReadAt = static_cast<int>(*n);
    } else if (name == "silent-after" && (n = number(value, 0, 1000000))) {
        faults.silentAfterCommands = static_cast<int>(*n);
    } else if (name == "short-block" && (n = number(value, 1, 1000000))) {
        faults.shortBlockAt = static_cast<int>(*n);
    } else if (name == "short-read" && (n = number(value, 0, 0xFFFFFFFF))) {
        faults.shortReadBytes = *n;
    } else if (name == "listed-size" && (n = number(value, 0, 0xFFFFFFFF))) {
        faults.listedSize = *n;
    } else if (name == "endless-list" && eq == std::string::npos) {
        faults.endlessList = true;
    } else if (name == "endless-read" && eq == std::string::npos) {
        faults.endlessReads = true;
    } else if (name == "silent" && eq == std::string::npos) {
        faults.silentUsblan = true;
    } else if (name == "drop" && eq == std::string::npos) {
        faults.dropConnection = true;
    } else if (name == "drop" && (n = number(value, 0, 1000000))) {
        faults.dropAfterRequests = static_cast<int>(*n);
    } else {
        error = "unknown fault: " + text;
        return false;
    }
    return true;
}

}  // namespace

std::string defaultModelName(PhoneKind kind) {
    return kind == PhoneKind::Linux ? "ROKR E6" : "V3 RAZR";
}

std::string phonesimUsage() {
    return "usage: marrowdeck-phonesim [--listen unix:PATH|tcp:HOST:PORT] "
           "[--usblan tcp:127.0.0.1:PORT] [options]\n"
           "  --listen ADDRESS         serve the phone's USB driver over the emulator socket\n"
           "  --usblan ADDRESS         serve P2k05 over USBLAN (PORT 0 picks one)\n"
           "  --kind KIND              classic|p2k05|cdma|linux (default p2k05; linux when\n"
           "                           only --usblan is given)\n"
           "  --model TEXT             model name (default \"V3 RAZR\", Linux \"ROKR E6\")\n"
           "  --latency MS             delay before each reply (default 0)\n"
           "  --root DIR               phone contents from DIR (DIR/a is volume /a)\n"
           "  --dump-state FILE        write the phone's state to FILE on exit\n"
           "  --stride 268|44          search record size (default 268)\n"
           "  --records-per-block N    records per search-next block (default 7)\n"
           "  --free BYTES             free space of every volume (default: room to spare)\n"
           "  --modem                  start in modem mode on a pseudo-terminal\n"
           "  --usblan-command TEXT    the modem's USBLAN switch command (default at+mode=13)\n"
           "  --fault NAME[=N]         stale-sequence[=N] (every reply, or the Nth command's),\n"
           "                           three-waiting[=N], error-status[=N], refuse-p2k05,\n"
           "                           drop[=N], fail-write=N / fail-read=N (the Nth file\n"
           "                           write / read refused), silent-after=N (no replies\n"
           "                           after the Nth command), short-block=N (the Nth search-next\n"
           "                           block announces a record it lacks), silent (USBLAN\n"
           "                           never answers), corrupt-read (file reads come back\n"
           "                           altered), short-read=N (each file sends at most N\n"
           "                           bytes), listed-size=N (every file listed with N\n"
           "                           bytes), endless-list (the list never ends),\n"
           "                           endless-read (file reads never end); may\n"
           "                           be repeated\n";
}

bool parsePhonesimOptions(const std::vector<std::string>& args, PhonesimOptions& options,
                          std::string& error) {
    bool kindGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--modem") {
            options.modem = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error =
                arg.rfind("--", 0) == 0 ? "missing value for " + arg : "unknown argument " + arg;
            return false;
        }
        const std::string& value = args[++i];
        std::optional<uint32_t> n;
        if (arg == "--listen") {
            options.listen = value;
        } else if (arg == "--usblan") {
            options.usblan = value;
        } else if (arg == "--kind" && kindFromName(value)) {
            options.kind = *kindFromName(value);
            kindGiven = true;
        } else if (arg == "--model" && !value.empty() && value.size() <= 60) {
            options.model = value;
        } else if (arg == "--latency" && (n = number(value, 0, kMaxLatencyMs))) {
            options.latencyMs = *n;
        } else if (arg == "--root" && !value.empty()) {
            options.root = value;
        } else if (arg == "--dump-state" && !value.empty()) {
            options.dumpState = value;
        } else if (arg == "--stride" && (value == "268" || value == "44")) {
            options.stride = value == "268" ? kStrideWide : kStrideNarrow;
        } else if (arg == "--free" && (n = number(value, 0, 999999999))) {
            options.freeBytes = *n;
        } else if (arg == "--records-per-block" && (n = number(value, 1, 100000))) {
            options.recordsPerBlock = *n;
        } else if (arg == "--usblan-command" && !value.empty() && value.size() <= 254) {
            options.usblanCommand = value;
        } else if (arg == "--fault") {
            if (!parseFault(value, options.faults, error)) return false;
        } else {
            error = "bad argument: " + arg + " " + value;
            return false;
        }
    }
    if (!kindGiven && options.listen.empty() && !options.usblan.empty()) {
        options.kind = PhoneKind::Linux;
    }
    if (options.listen.empty() && options.usblan.empty()) {
        error = "nothing to serve: give --listen or --usblan";
        return false;
    }
    if (options.kind == PhoneKind::Linux && !options.listen.empty()) {
        error = "a Linux phone has no P2k interface to --listen with; use --usblan";
        return false;
    }
    if (options.recordsPerBlock &&
        *options.recordsPerBlock > PhoneModel::maxRecordsPerBlock(options.stride)) {
        error = "--records-per-block: at most " +
                std::to_string(PhoneModel::maxRecordsPerBlock(options.stride)) +
                " records of this stride fit one reply";
        return false;
    }
    if (options.model.empty()) options.model = defaultModelName(options.kind);
    return true;
}

}  // namespace mdk::sim
