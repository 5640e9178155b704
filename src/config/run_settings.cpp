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
    values_ = {record.connectionMode, record.forceP2k05, record.useFilter, record.searchPattern,
               record.fileCountLimit};
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
    if (changed_ & kMode) record.connectionMode = values_.connectionMode;
    if (changed_ & kForceP2k05) record.forceP2k05 = values_.forceP2k05;
    if (changed_ & kUseFilter) record.useFilter = values_.useFilter;
    if (changed_ & kSearchPattern) record.searchPattern = values_.searchPattern;
    if (changed_ & kFileCountLimit) record.fileCountLimit = values_.fileCountLimit;
}

RunValues RunSettings::read() const {
    std::lock_guard lock(mutex_);
    return values_;
}

void RunSettings::commit(RunValues next) {
    if (next.connectionMode != values_.connectionMode) changed_ |= kMode;
    if (next.forceP2k05 != values_.forceP2k05) changed_ |= kForceP2k05;
    if (next.useFilter != values_.useFilter) changed_ |= kUseFilter;
    if (next.searchPattern != values_.searchPattern) changed_ |= kSearchPattern;
    if (next.fileCountLimit != values_.fileCountLimit) changed_ |= kFileCountLimit;
    values_ = std::move(next);
}

void PutPatternVolume::operator()(RunValues& values) const {
    if (values.searchPattern.size() < 2) values.searchPattern = kDefaultPattern;
    values.searchPattern[1] = letter;
}

std::string SwitchFilterOn::operator()(RunValues& values) const {
    if (!values.useFilter) {
        values.useFilter = 1;
        values.searchPattern = pattern;
    }
    return values.searchPattern;
}

void AllowOneMoreFile::operator()(RunValues& values) const {
    if (values.fileCountLimit >= 0) ++values.fileCountLimit;
}

}  // namespace mdk
