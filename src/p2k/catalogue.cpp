#include "p2k/catalogue.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/message_ids.h"
#include "base/prompter.h"
#include "config/config_record.h"
#include "config/run_settings.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {

constexpr size_t kLocationSlots = 4;

}  // namespace

Catalogue::Catalogue(CommandSet& commands, EventLog& log, const ConfigRecord& config,
                     RunSettings& settings, Clock& clock, Prompter& prompter,
                     const ProgramFiles& files)
    : commands_(commands),
      log_(log),
      config_(config),
      settings_(settings),
      clock_(clock),
      prompter_(prompter),
      files_(files) {}

std::string Catalogue::volumeMask() const {
    return settings_.read().searchPattern;
}

void Catalogue::setCurrentVolume(const std::string& volume) {
    const char letter = volume.size() >= 2 ? volume[1] : 'a';
    currentVolume_ = std::string("/") + letter;
    settings_.change(PutPatternVolume{letter});
}

void Catalogue::setStatus(int part, const std::string& text) {
    if (view_) view_->setStatusText(part, text);
}

uint8_t Catalogue::tuningByte() const {
    switch (static_cast<CommandSetOption>(config_.commandSet)) {
        case CommandSetOption::SafeSlow3G:
            return 1;
        case CommandSetOption::NewFast3G:
            return 3;
        default:
            return 0;
    }
}

uint32_t Catalogue::catalogueRecords() const {
    std::shared_lock lock(mutex_);
    return static_cast<uint32_t>(recordOffsets_.size());
}

uint32_t Catalogue::catalogueBytes() const {
    std::shared_lock lock(mutex_);
    return static_cast<uint32_t>(blocks_.size());
}

size_t Catalogue::memoryBytes() const {
    std::shared_lock lock(mutex_);
    return blocks_.capacity() + recordOffsets_.capacity() * sizeof(uint32_t) + rawDump_.capacity();
}

// ---- attach ---------------------------------------------------------------------------

std::string Catalogue::volumeText(const std::vector<uint8_t>& volumeList) {
    std::string text;
    for (size_t i = 0; i + 1 < volumeList.size(); i += 2) {
        const uint8_t low = volumeList[i + 1];
        if (low == 0) break;
        text.push_back(low > 0xF0 ? ' ' : static_cast<char>(low));
    }
    return text + " ";
}

std::vector<VolumeEntry> Catalogue::locationEntries(const std::string& volumes) const {
    std::vector<VolumeEntry> entries;
    auto add = [&](int message, bool emptySlot) {
        if (entries.size() == kLocationSlots - 1 && config_.useFourthSlot) {
            std::string text = log_.message(msg::kFourthSlot);
            const std::string option = settings_.optionTexts().fourthSlotVolume;
            const std::string volume = option.size() >= 2 ? option.substr(0, 2) : "/a";
            text.replace(0, std::min<size_t>(2, text.size()), volume);
            entries.push_back({text, false});
            return;
        }
        if (entries.size() < kLocationSlots) entries.push_back({log_.message(message), emptySlot});
    };
    add(msg::kFirstVolume, false);
    const char* const others[] = {"/b", "/c", "/e", "/g"};
    for (int i = 0; i < 4; ++i) {
        if (volumes.find(others[i]) != std::string::npos) add(msg::kFirstVolume + 1 + i, false);
    }
    while (entries.size() < kLocationSlots) add(msg::kEmptySlot, true);
    entries.push_back({log_.message(msg::kSeemEntry), false});
    return entries;
}

int Catalogue::attachPhone() {
    PhoneSession session(commands_.transport());
    const RunValues settings = settings_.read();
    if (settings.usblanP2k05()) {
        const std::string& mask = settings.searchPattern;
        int count =
            commands_.phoneSearchStart(mask.size() > 1 ? mask.substr(1) : mask, currentVolume_[1]);
        reportedCount_ = count > 0 ? static_cast<uint32_t>(count) : 0;
        log_.logMessage(msg::kVolume, "/");
        std::string model;
        if (usblanIdentity_) model = usblanIdentity_().value_or("");
        log_.logMessage(msg::kModel, model);
        showAttachedStatus(std::nullopt, model);
        if (auto* progress = commands_.progress()) progress->setPosition(0);
        return 0;
    }

    commands_.probeCommandSet();
    if (commands_.transport().p2k05Active()) {
        log_.logMessage(msg::kP2k05Commands);
    } else {
        switch (static_cast<CommandSetOption>(config_.commandSet)) {
            case CommandSetOption::Standard:
                log_.logMessage(msg::kStandardCommands);
                break;
            case CommandSetOption::SafeSlow3G:
                log_.logMessage(msg::kSafeSlowCommands);
                break;
            default:
                log_.logMessage(msg::kNewFastCommands);
                break;
        }
    }

    const bool cdma = commands_.cdmaPhone();
    const std::string model = readPhoneModel(commands_).model;
    log_.logLine((cdma ? "CDMA Model: " : "GSM Model: ") + model);
    if (cdma) return -1;

    int count = commands_.phoneSearchStart(volumeMask(), currentVolume_[1]);
    if (count > 0) reportedCount_ = static_cast<uint32_t>(count);
    settings_.change([](RunValues& values) { values.useFilter = 0; });

    std::vector<uint8_t> volumes;
    if (commands_.phoneListVolumes(volumes) != 0) {
        log_.logMessage(msg::kVolumesFailed);
        return -1;
    }
    if (view_) view_->setPhoneLocations(locationEntries(volumeText(volumes)));

    const std::string chosen = view_ ? view_->leftLocationText() : std::string("/a");
    log_.logLine(chosen);
    setCurrentVolume(chosen.size() >= 2 && chosen[0] == '/' ? chosen.substr(0, 2) : "/a");

    auto free = commands_.phoneFreeSpace(currentVolume_);
    if (!free) {
        log_.logMessage(msg::kFreeSpaceFailed);
        return -1;
    }
    log_.logMessage(msg::kSearchMask, volumeMask());
    log_.logLine(log_.message(msg::kFreeSpace) + std::to_string(static_cast<int>(*free / 1024)) +
                 log_.message(msg::kKilobytesFree));
    showAttachedStatus(*free, model);
    return 0;
}

void Catalogue::showAttachedStatus(std::optional<uint32_t> freeBytes, const std::string& model) {
    if (freeBytes)
        setStatus(0, log_.message(msg::kFree) + std::to_string(*freeBytes / 1024) + " Kb");
    setStatus(1, log_.message(msg::kVolume) + currentVolume_);
    setStatus(2, log_.message(msg::kFileCount) + std::to_string(reportedCount_.load()));
    setStatus(3, log_.message(msg::kModel) + model);
}

int Catalogue::refreshPhoneStatus() {
    PhoneSession session(commands_.transport());
    bool reportedZero = false;
    auto free = commands_.phoneFreeSpace(currentVolume_, &reportedZero);
    if (!free) {
        if (reportedZero) log_.logMessage(msg::kFreeSpaceFailed);
        if (!settings_.read().usblanP2k05()) {
            log_.logMessage(msg::kStatusFailed);
            return -1;
        }
    }
    setStatus(0, log_.message(msg::kFree) + std::to_string(free.value_or(0) / 1024) + " Kb");
    const uint32_t kept = reportedCount_;
    int count = commands_.phoneSearchStart(volumeMask(), currentVolume_[1]);
    setStatus(2, log_.message(msg::kFileCount) +
                     std::to_string(count > 0 ? static_cast<uint32_t>(count) : kept));
    reportedCount_ = kept;
    return 0;
}

}  // namespace mdk
