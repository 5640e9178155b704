#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/message_ids.h"
#include "base/prompter.h"
#include "config/run_settings.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "platform/program_files.h"
#include "platform/safe_file.h"

// The catalogue loader and the records' upkeep.
namespace mdk {
namespace {

constexpr size_t kBlockHeader = 4;

}  // namespace

Catalogue::RecordView Catalogue::decodeRecord(std::span<const uint8_t> record) {
    if (record.size() < 8) return {};
    const size_t pathRoom = record.size() - 8;
    size_t length = 0;
    while (length < pathRoom && record[length] != 0) ++length;
    return {std::string_view(reinterpret_cast<const char*>(record.data()), length),
            bytes::le32(&record[pathRoom]), bytes::be32(&record[pathRoom + 4])};
}

Catalogue::Decoded Catalogue::decode(uint32_t offset) const {
    return decodeRecord(std::span(blocks_).subspan(offset, stride_));
}

Catalogue::BlockReading Catalogue::readBlock(std::span<const uint8_t> reply,
                                             std::optional<uint32_t> knownStride) {
    BlockReading reading;
    if (reply.size() < kBlockHeader) return reading;
    const uint16_t count = bytes::be16(reply.data());
    if (count == 0) return reading;
    const size_t body = reply.size() - kBlockHeader;
    uint32_t stride = 0;
    if (knownStride) {
        stride = *knownStride;
    } else {
        // The record size is taken from the first reply: accept only a sane stride, and
        // only from a block of whole records (one that lacks announced records would give
        // a stride that cuts every record in the wrong place).
        if (body % count != 0) {
            reading.problem = "the phone's file list is malformed: its first block announces " +
                              std::to_string(count) + " records in " + std::to_string(body) +
                              " bytes";
            return reading;
        }
        if (body / count < kMinStride || body / count > kMaxStride) return reading;
        stride = static_cast<uint32_t>(body / count);
    }
    if (stride == 0) return reading;
    // Only whole records that actually arrived are kept.
    const size_t whole = std::min<size_t>(count, body / stride);
    if (whole < count) {
        reading.problem = "the phone's file list is incomplete: a block announces " +
                          std::to_string(count) + " records and holds " + std::to_string(whole);
    }
    if (whole > 0) reading.layout = BlockLayout{count, stride, whole};
    return reading;
}

std::optional<Catalogue::BlockLayout> Catalogue::blockLayout(std::span<const uint8_t> reply,
                                                             std::optional<uint32_t> knownStride) {
    return readBlock(reply, knownStride).layout;
}

std::string Catalogue::attributeText(uint32_t attributes, bool usblanMode) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", attributes);
    const std::string digits(hex);
    return usblanMode ? digits.substr(2, 2) + "    " + digits.substr(4, 4)
                      : digits.substr(0, 2) + "    " + digits.substr(2, 4);
}

void Catalogue::resetForLoad() {
    std::unique_lock lock(mutex_);
    blocks_.clear();
    blocks_.shrink_to_fit();
    recordOffsets_.clear();
    recordOffsets_.shrink_to_fit();
    rawDump_.clear();
    stride_ = kDefaultStride;
    loadedCount_ = 0;
    ++generation_;
    needsReload_ = false;
    loadProblem_.clear();
}

std::string Catalogue::loadProblem() const {
    std::shared_lock lock(mutex_);
    return loadProblem_;
}

void Catalogue::noteLoadProblem(std::string text) {
    std::unique_lock lock(mutex_);
    loadProblem_ = std::move(text);
}

// Takes one search-next reply into the catalogue. False when the load ends here: an end
// block, a malformed first reply, or the file-count limit reached.
bool Catalogue::takeBlock(const std::vector<uint8_t>& reply, bool& firstReply) {
    const bool firstBlock = firstReply;
    const BlockReading reading =
        readBlock(reply, firstBlock ? std::nullopt : std::optional<uint32_t>(stride_));
    if (!reading.problem.empty()) noteLoadProblem(reading.problem);
    if (!reading.layout) return false;
    const auto& layout = reading.layout;
    firstReply = false;
    const uint32_t stride = layout->stride;
    const uint16_t count = layout->count;
    // The search start announced the total: records beyond it are not taken, so a phone
    // that keeps sending can neither hold the load nor fill memory.
    const size_t room = announced_ > loadedCount_ ? announced_ - loadedCount_ : 0;
    const size_t whole = std::min(layout->whole, room);
    if (whole < layout->whole) {
        noteLoadProblem("the phone announced " + std::to_string(announced_) +
                        " files but kept sending more; the list was cut at " +
                        std::to_string(announced_));
    }
    if (whole == 0) return false;
    std::vector<uint32_t> starts;
    {
        std::unique_lock lock(mutex_);
        stride_ = stride;
        // The raw dump is only written while packets are logged: keep it only then.
        if (log_.packets()) rawDump_.insert(rawDump_.end(), reply.begin(), reply.end());
        if (firstBlock) {
            // Room for the announced records at the stride the phone uses.
            blocks_.reserve((size_t(reportedCount_.load()) + 2) * (stride + kBlockHeader));
        }
        const uint32_t base = static_cast<uint32_t>(blocks_.size());
        uint8_t header[kBlockHeader] = {0, 0, reply[2], reply[3]};
        bytes::putBe16(header, static_cast<uint16_t>(whole));
        blocks_.insert(blocks_.end(), header, header + kBlockHeader);
        blocks_.insert(blocks_.end(), reply.begin() + kBlockHeader,
                       reply.begin() + static_cast<ptrdiff_t>(kBlockHeader + whole * stride));
        for (size_t i = 0; i < whole; ++i) {
            starts.push_back(static_cast<uint32_t>(base + kBlockHeader + i * stride));
        }
    }
    const int32_t limit = settings_.read().fileCountLimit;
    for (uint32_t start : starts) {
        std::string path;
        {
            std::shared_lock lock(mutex_);
            path = std::string(decode(start).path);
        }
        log_.setQuiet(false);
        log_.replaceLogLine(path);
        log_.setQuiet(true);
        {
            std::unique_lock lock(mutex_);
            recordOffsets_.push_back(start);
            ++loadedCount_;
        }
        if (auto* progress = commands_.progress()) progress->step();
    }
    // The limit is checked per block: every record of a block kept is also indexed.
    if (limit >= 0 && loadedCount_ > static_cast<uint32_t>(limit)) return false;
    return whole == count && loadedCount_ < announced_;
}

void Catalogue::loadCatalogue() {
    workerDone_ = false;
    PhoneSession session(commands_.transport());
    const uint64_t started = clock_.nowMs();
    resetForLoad();
    const int count = commands_.phoneSearchStart(volumeMask(), currentVolume_[1]);
    const bool liveLine = count > 0;
    announced_ = count > 0 ? static_cast<uint32_t>(count) : 0;
    if (count > 0) {
        reportedCount_ = static_cast<uint32_t>(count);
        {
            std::unique_lock lock(mutex_);
            recordOffsets_.reserve(static_cast<size_t>(count));
        }
        if (auto* progress = commands_.progress()) {
            progress->setRange(0, count + 1);
            progress->setPosition(0);
        }
        const std::string found = std::to_string(count) + log_.message(msg::kFilesFound);
        log_.logLine(found);
        log_.logLine(found);
        QuietLog quiet(log_);
        bool firstReply = true;
        std::vector<uint8_t> reply;
        const uint8_t tuning = tuningByte();
        while (commands_.phoneSearchNext(tuning, reply) == 0 && takeBlock(reply, firstReply)) {
        }
    }
    reportedCount_ = loadedCount_;
    if (settings_.read().usblanP2k05()) {
        setStatus(2, log_.message(msg::kFileCount) + std::to_string(reportedCount_.load()));
        appendHiddenFiles();
    }
    catalogueLoaded_ = true;
    log_.setQuiet(false);
    const std::string summary = std::to_string(loadedCount_) + log_.message(msg::kFilesLoaded) +
                                std::to_string(clock_.nowMs() - started) +
                                log_.message(msg::kMilliseconds);
    // The summary takes the live line's place; without one (the search start failed) it
    // is a line of its own rather than replacing an unrelated one.
    if (liveLine) {
        log_.replaceLogLine(summary);
    } else {
        log_.logLine(summary);
    }
    if (const std::string problem = loadProblem(); !problem.empty()) log_.logLine(problem);
    workerDone_ = true;
    if (log_.packets()) writeRawDump();
    commands_.runSessionSequence();
}

std::optional<std::vector<std::string>> Catalogue::readHiddenFiles(const std::string& path) {
    auto file = readTextFile(path);
    if (!file) return std::nullopt;
    return parseHiddenFiles(*file);
}

std::vector<std::string> Catalogue::parseHiddenFiles(std::string_view fileText) {
    std::string content(fileText);
    content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
    std::vector<std::string> names;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (line.empty()) break;
        if (line[0] != '#') names.push_back(std::move(line));
        start = end + 1;
    }
    return names;
}

void Catalogue::appendHiddenFiles() {
    auto names = readHiddenFiles(files_.pathOf("Hidden_files.lst"));
    if (!names) {
        prompter_.ask({"Warning", "List of hidden files not found", PromptButtons::Ok,
                       PromptIcon::Warning, false});
        return;
    }
    for (const auto& name : *names) appendCatalogueRecord(name, kUnlistedFileSize, 0);
}

void Catalogue::writeRawDump() const {
    const std::string path = files_.writablePathOf("Received_filelist.raw");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::shared_lock lock(mutex_);
    out.write(reinterpret_cast<const char*>(rawDump_.data()),
              static_cast<std::streamsize>(rawDump_.size()));
}

bool Catalogue::appendCatalogueRecord(const std::string& name, uint32_t size,
                                      uint32_t attributeWord) {
    std::unique_lock lock(mutex_);
    if (name.empty() || name.size() + 1 > stride_ - 8) {
        needsReload_ = true;  // the name does not fit a record: re-read the phone instead
        return false;
    }
    const uint32_t base = static_cast<uint32_t>(blocks_.size());
    const uint8_t header[kBlockHeader] = {0x00, 0x01, 0x00, 0x00};
    blocks_.insert(blocks_.end(), header, header + kBlockHeader);
    blocks_.resize(blocks_.size() + stride_, 0);
    uint8_t* record = blocks_.data() + base + kBlockHeader;
    std::copy(name.begin(), name.end(), record);
    bytes::putLe32(record + stride_ - 8, attributeWord);
    bytes::putBe32(record + stride_ - 4, size);
    recordOffsets_.push_back(base + kBlockHeader);
    ++loadedCount_;
    ++reportedCount_;
    settings_.change(AllowOneMoreFile{});
    return true;
}

namespace {
bool isSameOrBelow(std::string_view recordPath, const std::string& path) {
    if (recordPath.substr(0, path.size()) != path) return false;
    return recordPath.size() == path.size() || recordPath[path.size()] == '/' ||
           (!path.empty() && path.back() == '/');
}
}  // namespace

void Catalogue::markCatalogueRecord(const std::string& path) {
    if (path.empty()) return;
    std::unique_lock lock(mutex_);
    ++generation_;
    for (uint32_t offset : recordOffsets_) {
        if (isSameOrBelow(decode(offset).path, path)) blocks_[offset] = 0xFF;
    }
}

void Catalogue::setCatalogueAttributes(const std::string& path, uint8_t attributeByte,
                                       uint32_t currentWord) {
    std::unique_lock lock(mutex_);
    for (uint32_t offset : recordOffsets_) {
        if (decode(offset).path != path) continue;
        uint8_t* field = blocks_.data() + offset + stride_ - 8;
        bytes::putLe32(field, currentWord);
        field[1] = attributeByte;
        return;
    }
}

std::vector<CatalogueRecord> Catalogue::records() const {
    std::shared_lock lock(mutex_);
    std::vector<CatalogueRecord> out;
    out.reserve(recordOffsets_.size());
    for (uint32_t offset : recordOffsets_) {
        const Decoded d = decode(offset);
        out.push_back({std::string(d.path), d.attributeWord, d.size});
    }
    return out;
}

std::vector<CatalogueRecord> Catalogue::recordsBelow(const std::string& folder) const {
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    std::vector<CatalogueRecord> out;
    std::shared_lock lock(mutex_);
    for (uint32_t offset : recordOffsets_) {
        const Decoded d = decode(offset);
        if (d.path.size() > prefix.size() && d.path.substr(0, prefix.size()) == prefix) {
            out.push_back({std::string(d.path), d.attributeWord, d.size});
        }
    }
    return out;
}

}  // namespace mdk
