#include "config/run_settings.h"

namespace mdk {

namespace {
constexpr const char* kDefaultPattern = "/a/*.*";
}

RunSettings::RunSettings() {
    takeFrom(ConfigRecord{});
}

void RunSettings::takeFrom(const ConfigRecord& record) {
    std::lock_guard lock(mutex_);
    connectionMode_ = record.connectionMode;
    forceP2k05_ = record.forceP2k05;
    useFilter_ = record.useFilter;
    searchPattern_ = record.searchPattern;
    fileCountLimit_ = record.fileCountLimit;
    optionTexts_ = {record.comPort, record.fourthSlotVolume, record.usblanSwitchCommand,
                    record.usblanIp};
    changed_ = 0;
}

RunSettings::OptionTexts RunSettings::optionTexts() const {
    std::lock_guard lock(mutex_);
    return optionTexts_;
}

void RunSettings::writeInto(ConfigRecord& record) const {
    std::lock_guard lock(mutex_);
    if (changed_ & kMode) record.connectionMode = connectionMode_;
    if (changed_ & kForceP2k05) record.forceP2k05 = forceP2k05_;
    if (changed_ & kUseFilter) record.useFilter = useFilter_;
    if (changed_ & kSearchPattern) record.searchPattern = searchPattern_;
    if (changed_ & kFileCountLimit) record.fileCountLimit = fileCountLimit_;
}

int32_t RunSettings::connectionMode() const {
    std::lock_guard lock(mutex_);
    return connectionMode_;
}

void RunSettings::setConnectionMode(ConnectionMode mode) {
    std::lock_guard lock(mutex_);
    connectionMode_ = static_cast<int32_t>(mode);
    changed_ |= kMode;
}

int32_t RunSettings::forceP2k05() const {
    std::lock_guard lock(mutex_);
    return forceP2k05_;
}

void RunSettings::setForceP2k05(int32_t value) {
    std::lock_guard lock(mutex_);
    forceP2k05_ = value;
    changed_ |= kForceP2k05;
}

int32_t RunSettings::useFilter() const {
    std::lock_guard lock(mutex_);
    return useFilter_;
}

void RunSettings::setUseFilter(int32_t value) {
    std::lock_guard lock(mutex_);
    useFilter_ = value;
    changed_ |= kUseFilter;
}

std::string RunSettings::searchPattern() const {
    std::lock_guard lock(mutex_);
    return searchPattern_;
}

void RunSettings::setSearchPattern(std::string pattern) {
    std::lock_guard lock(mutex_);
    searchPattern_ = std::move(pattern);
    changed_ |= kSearchPattern;
}

void RunSettings::setPatternVolume(char letter) {
    std::lock_guard lock(mutex_);
    if (searchPattern_.size() < 2) searchPattern_ = kDefaultPattern;
    searchPattern_[1] = letter;
    changed_ |= kSearchPattern;
}

std::string RunSettings::enableFilter(const std::string& pattern) {
    std::lock_guard lock(mutex_);
    if (!useFilter_) {
        useFilter_ = 1;
        searchPattern_ = pattern;
        changed_ |= kUseFilter | kSearchPattern;
    }
    return searchPattern_;
}

int32_t RunSettings::fileCountLimit() const {
    std::lock_guard lock(mutex_);
    return fileCountLimit_;
}

void RunSettings::setFileCountLimit(int32_t limit) {
    std::lock_guard lock(mutex_);
    fileCountLimit_ = limit;
    changed_ |= kFileCountLimit;
}

void RunSettings::raiseFileCountLimit() {
    std::lock_guard lock(mutex_);
    if (fileCountLimit_ < 0) return;
    ++fileCountLimit_;
    changed_ |= kFileCountLimit;
}

}  // namespace mdk
