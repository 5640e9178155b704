#include "tests/fuzz/fuzz_checks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/messages.h"
#include "config/config_record.h"
#include "config/linux_settings.h"
#include "device/usblan_link.h"
#include "p2k/catalogue.h"
#include "p2k/file_transfer.h"
#include "p2k/phone_identity.h"
#include "seem/seem_lists.h"
#include "tests/fuzz/fuzz_check_sets.h"

namespace mdk::fuzz {
namespace {

bool hasAny(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

// The entries of a line list: never empty, never a comment, never holding a line end.
const char* checkEntries(const std::vector<std::string>& entries, std::string_view stops) {
    for (const std::string& entry : entries) {
        if (entry.empty()) return "an empty entry";
        if (entry[0] == '#') return "a comment taken as an entry";
        if (hasAny(entry, stops)) return "an entry holds a line end";
    }
    return nullptr;
}

const char* checkMessages(std::span<const uint8_t> bytes) {
    MessageTable table;
    table.parse(textOf(bytes));
    if (table.size() > bytes.size()) return "more messages than bytes";
    for (size_t i = 0; i < table.size(); ++i) {
        const std::string_view text = table.text(static_cast<int>(i));
        if (text.empty()) return "an empty message";
        if (hasAny(text, std::string_view("\r\n\0", 3))) return "a message holds a line end";
    }
    if (!table.text(-1).empty() || !table.text(static_cast<int>(table.size())).empty()) {
        return "a message outside the table";
    }
    return nullptr;
}

const char* checkConfigRecord(std::span<const uint8_t> bytes) {
    const auto record = ConfigRecord::parse(bytes);
    if (bytes.size() < ConfigRecord::kSize) return record ? "a short image was read" : nullptr;
    if (!record) return "a full image was refused";
    const ConfigRecord::Image image = record->serialize();
    const auto again = ConfigRecord::parse(image);
    if (!again || !(*again == *record)) return "the record does not survive a write and read";
    (void)ConfigRecord::imageIsValid(bytes);
    return nullptr;
}

const char* checkLinuxSettings(std::span<const uint8_t> bytes) {
    std::string warnings;
    const LinuxSettings settings = LinuxSettings::parse(textOf(bytes), &warnings);
    if (settings.usblanPort == 0) return "port 0 accepted";
    // The file's text also stands in for the address and the mount point of a template,
    // never empty and without "%", "I" and "P": such a value next to the template's own
    // characters could spell "%IP%" anew.
    const std::string_view text = textOf(bytes);
    std::string part(text.substr(0, std::min<size_t>(text.size(), 64)));
    std::erase_if(part, [](char c) { return c == '%' || c == 'I' || c == 'P'; });
    part += '_';
    const std::string expanded = expandTemplate(settings.shareMountCommand, part, part, part);
    if (expanded.find("%IP%") != std::string::npos) return "%IP% left in an expanded template";
    (void)parsePort(std::string(text));
    return nullptr;
}

const char* checkListFile(std::span<const uint8_t> bytes) {
    return checkEntries(parseListFile(textOf(bytes)), std::string_view("\r\n\0", 3));
}

const char* checkHiddenFiles(std::span<const uint8_t> bytes) {
    return checkEntries(Catalogue::parseHiddenFiles(textOf(bytes)), "\r\n");
}

const char* checkSourceList(std::span<const uint8_t> bytes) {
    return checkEntries(parseSourceList(textOf(bytes)), "\r\n");
}

const char* checkIpReport(std::span<const uint8_t> bytes) {
    const std::string_view report = textOf(bytes);
    const auto match = findUsblanAdapter(report);
    if (!match) return nullptr;
    if (report.find(match->line) == std::string_view::npos) return "a line not in the report";
    if (match->adapterIp.find_first_not_of("-./0123456789") != std::string::npos) {
        return "an address with a foreign character";
    }
    const std::string next = nextAddress(match->adapterIp);
    if (isIpv4Address(match->adapterIp) && next.empty()) return "no next address for an address";
    return nullptr;
}

const char* checkModelName(std::span<const uint8_t> bytes) {
    const auto name = parseBluetoothModelName(bytes);
    if (!name) return nullptr;
    if (name->size() > kModelNameMax) return "a model name longer than its limit";
    if (name->find('\n') != std::string::npos) return "a model name holds a line end";
    return nullptr;
}

// The arguments of the input, one a line, written as a command line and read back.
const char* checkCommandLine(std::span<const uint8_t> bytes) {
    const std::string_view text = textOf(bytes);
    std::string argument;
    for (int number = 0; number < 6; ++number) {
        const int code = commandLineArgument(text, number, argument);
        if (code < kArgumentFound || code > kArgumentEmpty) return "an unknown result code";
        if (argument.find('"') != std::string::npos) return "a quote kept in an argument";
        if (code != kArgumentFound && !argument.empty()) return "text with a failure code";
    }
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start <= text.size() && arguments.size() < 8) {
        size_t end = std::min(text.find('\n', start), text.size());
        arguments.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    const bool readable = std::none_of(arguments.begin(), arguments.end(), [](const auto& a) {
        return a.find('"') != std::string::npos || a.find('\0') != std::string::npos;
    });
    if (!readable) return nullptr;
    const std::string line = buildCommandLine(arguments);
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (commandLineArgument(line, static_cast<int>(i), argument) == kArgumentEmpty &&
            arguments[i].empty()) {
            continue;
        }
        // The rule reads a tab as a space, also inside quotes.
        std::string expected = arguments[i];
        std::replace(expected.begin(), expected.end(), '\t', ' ');
        if (argument != expected) return "an argument does not survive the command line";
    }
    return nullptr;
}

constexpr std::array kTargets{
    Target{"gif", checkGif},
    Target{"messages", checkMessages},
    Target{"config_record", checkConfigRecord},
    Target{"linux_settings", checkLinuxSettings},
    Target{"list_file", checkListFile},
    Target{"hidden_files", checkHiddenFiles},
    Target{"ip_report", checkIpReport},
    Target{"model_name", checkModelName},
    Target{"command_line", checkCommandLine},
    Target{"source_list", checkSourceList},
    Target{"classic_reply", checkClassicReply},
    Target{"p2k05_reply", checkP2k05Reply},
    Target{"usblan_reply", checkUsblanReply},
    Target{"catalogue", checkCatalogue},
    Target{"package", checkPackage},
    Target{"seem_functions", checkSeemFunctions},
    Target{"manifest", checkManifest},
    Target{"seem_file", checkSeemFile},
    Target{"mount_info", checkMountInfo},
};

}  // namespace

std::span<const Target> targets() {
    return kTargets;
}

Check checkFor(std::string_view name) {
    for (const Target& target : kTargets) {
        if (target.name == name) return target.check;
    }
    return nullptr;
}

int runCheck(std::string_view name, const uint8_t* bytes, size_t size) {
    const Check check = checkFor(name);
    const char* fault = check ? check({bytes, size}) : "unknown target";
    if (fault) {
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(name.size()), name.data(), fault);
        std::abort();
    }
    return 0;
}

}  // namespace mdk::fuzz
