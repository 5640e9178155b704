// seem-diff: two sets of seem records compared, each changed bit named by the seem
// function catalogue.
#include "cli/seem_diff_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>

#include <nlohmann/json.hpp>

#include "backup/seem_snapshot.h"
#include "cli/backup_commands.h"
#include "cli/session.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"

namespace mdk::cli {
namespace {

constexpr int kExitDiffer = 1;
constexpr int kExitTrouble = 2;
constexpr const char* kPhoneSide = "@phone";
constexpr size_t kLineWidth = 80;
constexpr size_t kMinMeaningWidth = 24;

struct DiffArguments {
    std::string a;
    std::string b;
    bool json = false;
    std::string csv;
};

DiffArguments parseArguments(const std::vector<std::string>& args) {
    DiffArguments parsed;
    std::vector<std::string> sources;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            parsed.json = true;
        } else if (args[i] == "--csv") {
            if (i + 1 >= args.size()) throw UsageError{"--csv needs a file"};
            parsed.csv = args[++i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            throw UsageError{"unknown seem-diff option " + args[i]};
        } else {
            sources.push_back(args[i]);
        }
    }
    if (sources.size() != 2) throw UsageError{"seem-diff compares two sources: A B"};
    if (sources[0] == kPhoneSide && sources[1] == kPhoneSide) {
        throw UsageError{"seem-diff: only one side can be @phone"};
    }
    parsed.a = sources[0];
    parsed.b = sources[1];
    return parsed;
}

// One side of the comparison.
struct Side {
    std::string source;  // as given
    SeemSnapshot snapshot;
    bool phone = false;
    bool seemFile = false;  // one record only
};

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Side readOffline(const std::string& source) {
    Side side{source, {}, source == kPhoneSide, false};
    if (side.phone) return side;
    std::string error;
    auto snapshot =
        isFolder(source) ? readBackupSeems(source, error) : readSeemFileSnapshot(source, error);
    if (!snapshot) throw CommandError{error};
    side.seemFile = !isFolder(source);
    side.snapshot = std::move(*snapshot);
    return side;
}

// Keeps of side only the records the seem file holds.
void narrowTo(Side& side, const Side& seemFile) {
    SeemRecordSet kept;
    for (const auto& [key, data] : seemFile.snapshot.records) {
        auto found = side.snapshot.records.find(key);
        if (found != side.snapshot.records.end()) kept.insert(*found);
    }
    side.snapshot.records = std::move(kept);
}

void readPhoneSide(Session& s, Side& phone, const Side& other) {
    s.connectWhenNeeded();
    s.probe();
    const bool p2k05 = s.commands().transport().p2k05Active();
    phone.snapshot.framing = s.usblan() ? "P2k05 over USBLAN" : p2k05 ? "P2k05" : "P2k";
    BackupPhone backupPhone = phoneOf(s);
    std::string error;
    auto records = readPhoneSeems(backupPhone, other.snapshot.records, !other.seemFile, error);
    if (!records) throw CommandError{error};
    phone.snapshot.records = std::move(*records);
}

// The framing that chooses the catalogue: the phone's, else a manifest's (A's first).
std::string framingOf(const Side& a, const Side& b) {
    for (const Side* side : {&a, &b}) {
        if (side->phone) return side->snapshot.framing;
    }
    return a.snapshot.framing.empty() ? b.snapshot.framing : a.snapshot.framing;
}

// The meanings, and the catalogue's path (empty when it could not be read: the bits are
// then shown without meanings). A --csv file that cannot be read is trouble.
SeemMeanings loadMeanings(const std::string& path, bool given, std::string& usedPath) {
    std::string error;
    auto bytes = readWholeFile(path, error);
    if (!bytes && given) throw CommandError{"cannot read the catalogue: " + error};
    if (!bytes) {
        std::fprintf(stderr, "warning: no seem function catalogue (%s)\n", error.c_str());
        return {};
    }
    usedPath = path;
    return SeemMeanings(
        parseSeemCatalogue({reinterpret_cast<const char*>(bytes->data()), bytes->size()})
            .functions);
}

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, unsigned(value));
    return text;
}

std::string meaningOf(const SeemBitChange& bit) {
    if (!bit.function) return "(not in the catalogue)";
    return bit.heading.empty() ? bit.description : bit.description + " [" + bit.heading + "]";
}

std::string recordNote(const SeemRecordDiff& d) {
    if (d.state == SeemRecordState::OnlyInA) {
        return "only in A (" + std::to_string(d.lengthA) + " bytes)";
    }
    if (d.state == SeemRecordState::OnlyInB) {
        return "only in B (" + std::to_string(d.lengthB) + " bytes)";
    }
    return "length differs: " + std::to_string(d.lengthA) + " bytes in A, " +
           std::to_string(d.lengthB) + " in B";
}

// ---- text ----------------------------------------------------------------------------

using Row = std::array<std::string, 7>;  // record, offset, A, B, bit, A>B, meaning

std::vector<Row> tableRows(const std::vector<SeemRecordDiff>& diffs) {
    std::vector<Row> rows = {{"RECORD", "OFF", "A", "B", "BIT", "A>B", "MEANING"}};
    for (const SeemRecordDiff& d : diffs) {
        std::string name = seemRecordName(d.key);
        if (d.state != SeemRecordState::Changed || d.lengthDiffers()) {
            rows.push_back({name, "", "", "", "", "", recordNote(d)});
            name.clear();
        }
        for (const SeemByteChange& byte : d.bytes) {
            Row row = {name, hex(byte.offset, 2), hex(byte.oldValue, 2), hex(byte.newValue, 2)};
            for (const SeemBitChange& bit : byte.bits) {
                row[4] = seemBitNotation(d.key, byte.offset, bit.bit);
                row[5] = std::to_string(bit.oldValue) + ">" + std::to_string(bit.newValue);
                row[6] = meaningOf(bit);
                rows.push_back(row);
                row = Row{};
            }
            name.clear();
        }
    }
    return rows;
}

// text cut into lines of at most width characters, at spaces where it can.
std::vector<std::string> wrapped(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string rest = text;
    while (rest.size() > width) {
        size_t cut = rest.rfind(' ', width);
        if (cut == std::string::npos || cut == 0) cut = width;
        lines.push_back(rest.substr(0, cut));
        rest = rest.substr(cut < rest.size() && rest[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(rest);
    return lines;
}

void printTable(const std::vector<Row>& rows) {
    std::array<size_t, 6> widths{};
    for (const Row& row : rows) {
        for (size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    size_t indent = 0;
    for (size_t width : widths) indent += width + 1;
    const size_t meaningWidth =
        std::max(kMinMeaningWidth, kLineWidth - std::min(indent, kLineWidth));
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < widths.size(); ++i) {
            line += row[i] + std::string(widths[i] - row[i].size() + 1, ' ');
        }
        const auto meaning = wrapped(row[6], meaningWidth);
        for (size_t i = 0; i < meaning.size(); ++i) {
            const std::string lead = i == 0 ? line : std::string(indent, ' ');
            std::printf("%s\n", (lead + meaning[i]).c_str());
        }
    }
}

std::string sideText(const Side& side) {
    std::string text =
        side.source + ": " + std::to_string(side.snapshot.records.size()) + " record(s)";
    if (!side.snapshot.model.empty()) text += ", " + side.snapshot.model;
    if (!side.snapshot.framing.empty()) text += ", " + side.snapshot.framing;
    return text;
}

void printText(const Side& a, const Side& b, const std::string& catalogue,
               const std::vector<SeemRecordDiff>& diffs) {
    std::printf("A: %s\nB: %s\n", sideText(a).c_str(), sideText(b).c_str());
    std::printf("Catalogue: %s\n", catalogue.empty() ? "none" : catalogue.c_str());
    if (diffs.empty()) {
        std::printf("The seem records are the same.\n");
        return;
    }
    printTable(tableRows(diffs));
    std::printf("%zu record(s) differ.\n", diffs.size());
}

// ---- JSON ----------------------------------------------------------------------------

nlohmann::json sideJson(const Side& side) {
    return {{"source", side.source},
            {"records", side.snapshot.records.size()},
            {"model", side.snapshot.model},
            {"framing", side.snapshot.framing}};
}

nlohmann::json bitJson(const SeemRecordDiff& d, const SeemByteChange& byte,
                       const SeemBitChange& bit) {
    nlohmann::json entry = {{"bit", bit.bit},
                            {"notation", seemBitNotation(d.key, byte.offset, bit.bit)},
                            {"old", bit.oldValue},
                            {"new", bit.newValue},
                            {"named", bit.function.has_value()}};
    if (bit.function) {
        entry["description"] = bit.description;
        entry["heading"] = bit.heading;
    }
    return entry;
}

nlohmann::json recordJson(const SeemRecordDiff& d) {
    static const char* const states[] = {"changed", "onlyInA", "onlyInB"};
    nlohmann::json bytes = nlohmann::json::array();
    for (const SeemByteChange& byte : d.bytes) {
        nlohmann::json bits = nlohmann::json::array();
        for (const SeemBitChange& bit : byte.bits) bits.push_back(bitJson(d, byte, bit));
        bytes.push_back({{"offset", byte.offset},
                         {"old", byte.oldValue},
                         {"new", byte.newValue},
                         {"bits", bits}});
    }
    return {{"record", seemRecordName(d.key)},
            {"seem", d.key.first},
            {"recordNumber", d.key.second},
            {"state", states[int(d.state)]},
            {"lengthA", d.lengthA},
            {"lengthB", d.lengthB},
            {"lengthDiffers", d.lengthDiffers()},
            {"bytes", bytes}};
}

void printJson(const Side& a, const Side& b, const std::string& catalogue,
               const std::vector<SeemRecordDiff>& diffs) {
    nlohmann::json records = nlohmann::json::array();
    for (const SeemRecordDiff& d : diffs) records.push_back(recordJson(d));
    const nlohmann::json root = {{"a", sideJson(a)},
                                 {"b", sideJson(b)},
                                 {"catalogue", catalogue},
                                 {"equal", diffs.empty()},
                                 {"records", records}};
    std::printf("%s\n", root.dump(1, '\t').c_str());
}

void compare(Session& s, const DiffArguments& args) {
    Side a = readOffline(args.a);
    Side b = readOffline(args.b);
    // A seem file against a backup: only its record is compared.
    if (a.seemFile && !b.seemFile && !b.phone) narrowTo(b, a);
    if (b.seemFile && !a.seemFile && !a.phone) narrowTo(a, b);
    if (a.phone) readPhoneSide(s, a, b);
    if (b.phone) readPhoneSide(s, b, a);
    std::string used;
    const std::string catalogue =
        args.csv.empty()
            ? s.context().programFile(seemFunctionsFileName(p2k05Framing(framingOf(a, b))))
            : args.csv;
    const SeemMeanings meanings = loadMeanings(catalogue, !args.csv.empty(), used);
    const auto diffs = diffSeemRecords(a.snapshot.records, b.snapshot.records, meanings);
    args.json ? printJson(a, b, used, diffs) : printText(a, b, used, diffs);
    if (!diffs.empty()) s.setExitCode(kExitDiffer);
}

}  // namespace

void runSeemDiff(Session& s, const std::vector<std::string>& args) {
    const DiffArguments parsed = parseArguments(args);
    s.setFailureExitCode(kExitTrouble);
    try {
        compare(s, parsed);
    } catch (CommandError& e) {
        e.exitCode = kExitTrouble;
        throw;
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        throw CommandError{e.what(), kExitTrouble};
    }
}

}  // namespace mdk::cli
