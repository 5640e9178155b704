// The fuzz checks of files read from disk: batch packages, the seem function catalogue,
// the backup manifest, seem files and the mount table.
#include <algorithm>
#include <string>
#include <vector>

#include "backup/manifest.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/hex_text.h"
#include "base/messages.h"
#include "batch/batch_engine.h"
#include "batch/package_file.h"
#include "config/run_settings.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "panes/drive_entries.h"
#include "platform/gif_scanner.h"
#include "seem/seem_file.h"
#include "seem/seem_function_table.h"
#include "seem/seem_lists.h"
#include "seem/seem_manager.h"
#include "tests/fuzz/fuzz_check_sets.h"
#include "tests/fuzz/fuzz_checks.h"

namespace mdk::fuzz {
namespace {

using Bytes = std::span<const uint8_t>;

// The input cut in two at its first line end (the second part empty without one).
std::pair<std::string_view, std::string_view> twoParts(std::string_view text) {
    const size_t lf = text.find('\n');
    if (lf == std::string_view::npos) return {text, {}};
    return {text.substr(0, lf), text.substr(lf + 1)};
}

bool isHexText(std::string_view text, size_t maxDigits) {
    return parseHex(text, maxDigits).has_value();
}

const char* checkSeemBit(std::string_view argument) {
    SeemBitResult failure;
    const auto address = parseSeemBitArgument(argument, failure);
    if (!address) return failure.detail.empty() ? "a refused bit without a reason" : nullptr;
    if (address->bit > kLastSeemBit) return "a bit above 7";
    if (address->offset >= kSeemRecordMax) return "an offset beyond the longest record";
    return nullptr;
}

// The argument of a package line, as the batch engine reads the commands that take one.
const char* checkPackageArgument(const PackageCommand& command) {
    if (command.argument.find('\\') != std::string::npos) return "a backslash left in a name";
    if (command.code == "ss" || command.code == "rs" || command.code == "ts") {
        if (const char* fault = checkSeemBit(command.argument)) return fault;
    }
    if (const auto numbers = parseSeemSaveArgument(command.argument)) {
        if (!isHexText(numbers->first, 4) || !isHexText(numbers->second, 4)) {
            return "a seem save argument that is not two hexadecimal numbers";
        }
    }
    // Files named by a package never lie outside its folder.
    static const std::string kFolder = "/nonexistent-marrowdeck-fuzz/package";
    if (const auto path = packageFilePath(kFolder, command.argument)) {
        if (path->rfind(kFolder + "/", 0) != 0 || path->find("/../") != std::string::npos) {
            return "a package file outside the package's folder";
        }
    }
    return nullptr;
}

// A catalogue line written back from its fields.
std::string catalogueLine(const SeemFunction& f) {
    return f.seemText + ";" + f.recordText + ";" + f.offsetText + ";" + f.bitText + ";" +
           f.description;
}

const char* checkFunction(const SeemFunction& f) {
    if (f.heading != (!f.offsetText.empty() && f.offsetText[0] == '-')) {
        return "a heading not told by its offset";
    }
    if (f.heading || !f.address) {
        if (f.address) return "a heading naming a bit";
        return f.heading || !f.fault.empty() ? nullptr : "an unusable line without a reason";
    }
    if (!f.fault.empty()) return "a usable line with a fault";
    const SeemBitAddress& a = *f.address;
    if (a.bit > kLastSeemBit || a.offset >= kSeemRecordMax) return "a bit out of range";
    if (parseHex(f.seemText) != a.seem || parseHex(f.recordText) != a.record ||
        parseHex(f.offsetText) != a.offset || parseHex(f.bitText) != a.bit) {
        return "a bit other than its fields name";
    }
    return nullptr;
}

// Every search hit holds the text; the walk finds as many as there are.
const char* checkSearch(const std::vector<SeemFunction>& functions, std::string_view text) {
    const std::string wanted = lowerAscii(text);
    const auto holds = [&](const SeemFunction& f) {
        return lowerAscii(f.description).find(wanted) != std::string::npos;
    };
    size_t hits = 0;
    int previous = -1;
    for (int at = findSeemFunction(functions, text, -1); at >= 0;
         at = findSeemFunction(functions, text, at)) {
        if (at <= previous || size_t(at) >= functions.size()) return "the search walked back";
        if (!holds(functions[size_t(at)])) return "a hit without the text";
        previous = at;
        ++hits;
    }
    const auto expected =
        text.empty() ? 0 : std::count_if(functions.begin(), functions.end(), holds);
    return hits == size_t(expected) ? nullptr : "the search missed a line";
}

// The table the "Seem Functions" dialog shows, loaded without a phone.
const char* checkFunctionTable(std::string_view text) {
    const MessageTable messages;
    EventLog log(messages);
    UsbDriver driver(log);
    ManualClock clock;
    Transport transport(driver, log, clock);
    RunSettings settings;
    CommandSet commands(transport, log, settings, clock);
    SeemFunctionTable table(commands);
    table.load(text, false);
    if (table.recordCount() > SeemFunctionTable::kMaxRecords) return "more records than kept";
    for (size_t i = 0; i < table.size(); ++i) {
        const bool heading = table.functions()[i].heading;
        if ((table.icon(i) == FunctionIcon::Heading) != heading) return "a heading icon misplaced";
        if (table.bit(i) || table.toggle(i)) return "a bit without a copy of its record";
    }
    return table.changed() ? "a table changed without a copy" : nullptr;
}

}  // namespace

const char* checkPackage(Bytes bytes) {
    const std::string_view text = textOf(bytes);
    const std::vector<std::string> lines = splitPackageLines(text);
    if (lines.size() > size_t(std::count(text.begin(), text.end(), '\r'))) {
        return "more lines than line ends";
    }
    std::string written;
    for (const std::string& line : lines) {
        if (line.empty()) return "an empty line kept";
        if (line.find('\r') != std::string::npos) return "a line holds a CR";
        written += line + "\r\n";
        const auto command = parsePackageCommand(line);
        if (!command) continue;
        if (command->code.size() != 2 || line.size() != command->argument.size() + 3) {
            return "a command cut wrongly";
        }
        if (const char* fault = checkPackageArgument(*command)) return fault;
    }
    if (splitPackageLines(written) != lines) return "the lines do not survive a write and read";
    return nullptr;
}

// Input: the catalogue file; its last line also serves as the search text.
const char* checkSeemFunctions(Bytes bytes) {
    const std::string_view text = textOf(bytes);
    const SeemCatalogue catalogue = parseSeemCatalogue(text);
    if (catalogue.functions.size() + catalogue.skippedLines.size() != parseListFile(text).size()) {
        return "lines lost between the table and the skipped lines";
    }
    std::string written;
    for (const SeemFunction& function : catalogue.functions) {
        if (const char* fault = checkFunction(function)) return fault;
        written += catalogueLine(function) + "\n";
    }
    const SeemCatalogue again = parseSeemCatalogue(written);
    if (again.functions.size() != catalogue.functions.size() || !again.skippedLines.empty()) {
        return "the table does not survive a write and read";
    }
    for (size_t i = 0; i < again.functions.size(); ++i) {
        if (catalogueLine(again.functions[i]) != catalogueLine(catalogue.functions[i])) {
            return "a line does not survive a write and read";
        }
    }
    const std::string_view search = text.substr(text.rfind('\n') + 1).substr(0, 8);
    if (const char* fault = checkSearch(catalogue.functions, search)) return fault;
    return checkFunctionTable(text);
}

const char* checkManifest(Bytes bytes) {
    std::string error;
    const auto manifest = parseManifest(textOf(bytes), error);
    if (!manifest) return error.empty() ? "a refused manifest without a reason" : nullptr;
    for (const auto& [path, file] : manifest->files) {
        if (path.empty() || path[0] != '/') return "a file path that is not absolute";
        if (file.sha256.size() != 64) return "a hash of the wrong length";
    }
    const std::string text = manifestText(*manifest);
    const auto again = parseManifest(text, error);
    if (!again) return "a written manifest refused";
    if (manifestText(*again) != text) return "the manifest does not survive a write and read";
    return nullptr;
}

// Input: a seem file name; after a line end, the typed seem and record (blank between);
// the whole input is also the file's bytes, its second half the record's current bytes.
// The GIF frame scanner never reads out of bounds, and what it reports lies inside the
// data and the size limits; each frame cut out on its own scans again.
const char* checkGif(Bytes data) {
    const GifScan scan = scanGif(data);
    if (!scan.ok()) return scan.frames.empty() ? nullptr : "frames of a refused file";
    if (scan.canvasWidth > kGifMaxCanvasSide || scan.canvasHeight > kGifMaxCanvasSide) {
        return "a canvas beyond the limit";
    }
    for (size_t i = 0; i < scan.frames.size(); ++i) {
        const GifFrame& frame = scan.frames[i];
        if (frame.start >= frame.end || frame.end >= data.size()) return "a frame outside the data";
        const auto single = singleFrameGif(data, scan, i);
        const size_t control = i > 0 && frame.hasControl ? kGifControlLength : 0;
        const size_t expected = scan.frames.front().start + control + (frame.end - frame.start) + 2;
        if (single.size() != expected || single.back() != 0x3B) return "a frame cut out wrongly";
        const GifScan again = scanGif(single);
        if (!again.ok() || again.frames.empty()) return "a frame cut out does not scan";
    }
    return nullptr;
}

SeemFileCut seemFileCut(Bytes bytes) {
    if (bytes.empty()) return {bytes, bytes};
    const size_t split = size_t(bytes.back()) * bytes.size() / 256;
    return {bytes.first(split), bytes.subspan(split)};
}

const char* checkSeemFile(Bytes bytes) {
    const auto [name, typed] = twoParts(textOf(bytes));
    if (const auto address = parseSeemFileName(std::string(name))) {
        if (!inSeemFileRange(address->seem, address->record)) return "a seem file out of range";
        const std::string canonical = seemFileName(address->seem, address->record);
        const auto again = parseSeemFileName(canonical);
        if (!again || again->seem != address->seem || again->record != address->record) {
            return "a seem file name does not survive a write and read";
        }
    }
    const size_t blank = typed.find(' ');
    const std::string_view seemText = typed.substr(0, blank);
    const std::string_view recordText =
        blank == std::string_view::npos ? "" : typed.substr(blank + 1);
    if (parseTypedSeem(seemText, recordText) &&
        (!isHexText(seemText, 4) || !isHexText(recordText, 4))) {
        return "a typed seem taken that is not hexadecimal";
    }
    const auto [file, current] = seemFileCut(bytes);
    const std::vector<uint8_t> data = seemWriteData(file, current);
    if (data.size() != current.size()) return "more or less written than the record holds";
    const size_t fromFile = std::min(file.size(), current.size());
    if (!std::equal(data.begin(), data.begin() + long(fromFile), file.begin()) ||
        !std::equal(data.begin() + long(fromFile), data.end(), current.begin() + long(fromFile))) {
        return "written bytes from neither the file nor the record";
    }
    return nullptr;
}

const char* checkMountInfo(Bytes bytes) {
    const std::string_view text = textOf(bytes);
    const auto mounts = parseMountInfo(text);
    if (mounts.size() > size_t(std::count(text.begin(), text.end(), '\n')) + 1) {
        return "more mounts than lines";
    }
    for (const MountPoint& mount : mounts) {
        if (mount.fsType.find_first_of(" \n") != std::string::npos) return "a type holds a blank";
        (void)classifyMount(mount, "/home/user");
    }
    return nullptr;
}

}  // namespace mdk::fuzz
