#include "app/options.h"

#include <algorithm>
#include <optional>

#include "app/app_context.h"
#include "base/app_control.h"
#include "device/device_view.h"
#include "platform/companion.h"

namespace mdk {

namespace options {

namespace {

constexpr CheckBox kCheckBoxes[] = {
    {1510, "Fade In (maybe slow on old VGA)", &ConfigRecord::fadeIn, false, true},
    {1514, "Use P2k05 commands (override autodetect) ", &ConfigRecord::forceP2k05, false, false},
    {1518, "use this IP:", &ConfigRecord::useGivenIp, false, false},
    {1560, " I dont want n00b alerts.", &ConfigRecord::noviceAlerts, true, true},
    {1561, "Check new release online.", &ConfigRecord::checkRelease, false, false},
    {1562, "Use Tidewatch.", &ConfigRecord::useTidewatch, false, false},
    {1563, "Use this filename filter:", &ConfigRecord::useFilter, false, false},
    {1564, "use this COM port:", &ConfigRecord::useFixedComPort, false, false},
    {1565, "Logging USB packets.", &ConfigRecord::logPackets, false, false},
    {1566, "Use this USB IF Index:", &ConfigRecord::useFixedInterfaceIndex, false, false},
    {1570, "Override target path before upload", &ConfigRecord::overrideTargetPath, false, false},
    {1571, "Use this volume on 4th slot:", &ConfigRecord::useFourthSlot, false, false},
};

constexpr Radio kModeRadios[] = {
    {1502, "P2k/P2k05", 0},
    {1504, "USBLAN / Samba / Netbios", 1},
    {1516, "USBLAN / Ftp", 2},
    {1521, "P2k05 over USBLAN", 3},
};

// The ids run crosswise: 1512 is the new command set (3), 1513 the safe one (1).
constexpr Radio kCommandSetRadios[] = {
    {1511, "Standard P2k commands (E398, V3, Vxxx...)", 0},
    {1512, "New (fast) 3G-P2k cmds (E1000, V975, RIZR...)", 3},
    {1513, "Safe (slow) 3G-P2k commands (A1000, V980...)", 1},
};

constexpr Tooltip kTooltips[] = {
    {1511, 106}, {1512, 107}, {1513, 108}, {1514, 109}, {1566, 110},
    {1562, 111}, {1561, 112}, {1560, 113}, {1565, 114},
};

constexpr const char* kDefaultFilter = "/*.*";
constexpr const char* kDefaultVolumePart = "/a";

// The text cut to its field; a cut never splits a UTF-8 character.
std::string cut(const std::string& text, size_t most) {
    if (text.size() <= most) return text;
    size_t end = most;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// A decimal number from 0 to 65535 (blanks around it allowed).
std::optional<int32_t> parseInterfaceIndex(const std::string& text) {
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return std::nullopt;
    const size_t end = text.find_last_not_of(' ') + 1;
    int32_t value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 0xFFFF) return std::nullopt;
    }
    return value;
}

// The pattern's volume part ("/a"), kept when the filter part changes.
std::string volumePart(const std::string& searchPattern) {
    return searchPattern.size() >= 2 ? searchPattern.substr(0, 2) : kDefaultVolumePart;
}

}  // namespace

std::span<const CheckBox> checkBoxes() {
    return kCheckBoxes;
}
std::span<const Radio> modeRadios() {
    return kModeRadios;
}
std::span<const Radio> commandSetRadios() {
    return kCommandSetRadios;
}
std::span<const Tooltip> tooltips() {
    return kTooltips;
}

const CheckBox* checkBox(int id) {
    for (const CheckBox& box : kCheckBoxes) {
        if (box.id == id) return &box;
    }
    return nullptr;
}

int sliderPosition(int32_t fileCountLimit) {
    if (fileCountLimit < kSliderMin || fileCountLimit > kSliderMax) return kSliderMax;
    return fileCountLimit;
}

SliderReading readSlider(int position, const std::string& noLimitText) {
    if (position >= kSliderMax) return {noLimitText, -1};
    const int value = std::max(position, kSliderMin);
    return {std::to_string(value), value};
}

Edits editsFrom(const ConfigRecord& config) {
    Edits edits;
    edits.filter = config.searchPattern.size() > 2 ? config.searchPattern.substr(2) : "";
    edits.comPort = config.comPort;
    edits.fourthSlotVolume = config.fourthSlotVolume;
    edits.interfaceIndex = std::to_string(config.interfaceIndex);
    edits.usblanSwitchCommand = config.usblanSwitchCommand;
    edits.usblanIp = config.usblanIp;
    return edits;
}

Taken takeChoice(ConfigRecord& config, const Choice& choice, int32_t modeAtOpening) {
    Taken taken;
    config.fileCountLimit = choice.fileCountLimit;
    const std::string filter =
        config.useFilter ? cut(choice.edits.filter, kFilterMax) : std::string(kDefaultFilter);
    config.searchPattern = volumePart(config.searchPattern) + filter;
    if (config.useFixedComPort) config.comPort = cut(choice.edits.comPort, kShortTextMax);
    if (config.useFourthSlot) {
        config.fourthSlotVolume = cut(choice.edits.fourthSlotVolume, kShortTextMax);
    }
    if (config.useFixedInterfaceIndex) {
        const auto index = parseInterfaceIndex(choice.edits.interfaceIndex);
        if (index) config.interfaceIndex = *index;
        taken.interfaceIndexSet = index.has_value();
        taken.interfaceIndexRefused = !index.has_value();
    }
    config.usblanSwitchCommand = cut(choice.edits.usblanSwitchCommand, kLongTextMax);
    config.usblanIp = cut(choice.edits.usblanIp, kLongTextMax);
    config.connectionMode = choice.mode;
    taken.modeChanged = choice.mode != modeAtOpening;
    return taken;
}

std::string firstLocationText(const std::string& searchPattern) {
    std::string text = searchPattern;
    text.replace(0, std::min<size_t>(2, text.size()), "  ");
    return text;
}

void shareClick(const ConfigRecord& config, RunSettings& running, int32_t ConfigRecord::*flag) {
    running.change([&](RunValues& values) {
        if (flag == &ConfigRecord::useFilter) values.useFilter = config.useFilter;
        if (flag == &ConfigRecord::forceP2k05) values.forceP2k05 = config.forceP2k05;
    });
}

}  // namespace options

void OptionsApplier::apply(const options::Choice& choice, int32_t modeAtOpening) {
    ConfigRecord& config = context_.config;
    setUpCompanion();
    const options::Taken taken = options::takeChoice(config, choice, modeAtOpening);
    // The live copies of the run-time fields follow what the options chose.
    context_.runSettings.takeFrom(config);
    if (taken.interfaceIndexSet) {
        context_.transport.setUsbInterfaceIndex(static_cast<uint16_t>(config.interfaceIndex));
    }
    if (taken.interfaceIndexRefused) {
        context_.log.logLine("Not a USB interface index: " + choice.edits.interfaceIndex +
                             " (kept " + std::to_string(config.interfaceIndex) + ")");
    }
    if (taken.modeChanged) {
        context_.prompter.ask({"Warning !", "Mode changed, application will restart now.",
                               PromptButtons::Ok, PromptIcon::Information});
        control_.restartApplication();
    }
    if (context_.driver.linkHandle() != 0 && config.mode() == ConnectionMode::P2k) refreshLink();
    if (config.mode() == ConnectionMode::P2k05OverUsblan) applyUsblanFilter();
}

void OptionsApplier::setUpCompanion() {
    if (!companion_) return;
    if (context_.config.useTidewatch) {
        companion_->enableAutostart(context_.programFolder);
    } else {
        companion_->disableAutostart();
    }
}

void OptionsApplier::refreshLink() {
    PhoneSession session(context_.transport);
    context_.commands.runSessionSequence();
    context_.catalogue.attachPhone();
}

void OptionsApplier::applyUsblanFilter() {
    ConfigRecord& config = context_.config;
    if (!config.useFilter) {
        config.useFilter = 1;
        config.searchPattern = "/a/*";
        context_.runSettings.takeFrom(config);
    }
    view_.replaceFirstLocation(options::firstLocationText(config.searchPattern));
}

}  // namespace mdk
