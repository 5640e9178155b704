#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "config/config_record.h"

namespace mdk {

class AppContext;
class AppControl;
class CompanionControl;
class DeviceView;
class RunSettings;

// Dialog 1500, the options: its controls as data, and what OK applies.
namespace options {

inline constexpr int kDialog = 1500;
inline constexpr int kSlider = 1501;
inline constexpr int kSliderLabel = 1503;
inline constexpr int kOk = 1506;
inline constexpr int kCancel = 1507;
inline constexpr int kUsblanCommand = 1508;
inline constexpr int kIp = 1517;
inline constexpr int kDriveField = 1519;
inline constexpr int kVolume = 1572;
inline constexpr int kFilter = 1654;
inline constexpr int kComPort = 1655;
inline constexpr int kInterfaceIndex = 1656;

// The slider of the file-count limit (hidden): 510 means no limit.
inline constexpr int kSliderMin = 10;
inline constexpr int kSliderMax = 510;
inline constexpr int kSliderTick = 50;
inline constexpr int kMsgNoLimit = 81;

// A check box: the record flag it inverts at every click; shown ticked when the flag is
// 1, or 0 for an inverted box.
struct CheckBox {
    int id;
    const char* text;
    int32_t ConfigRecord::*flag;
    bool inverted;
    bool hidden;
};

// A radio button and the value it stands for.
struct Radio {
    int id;
    const char* text;
    int32_t value;
};

// A control and the message that is its tooltip.
struct Tooltip {
    int id;
    int message;
};

std::span<const CheckBox> checkBoxes();
std::span<const Radio> modeRadios();
std::span<const Radio> commandSetRadios();
std::span<const Tooltip> tooltips();
const CheckBox* checkBox(int id);

// The slider position for a stored limit (-1, or out of range: the highest).
int sliderPosition(int32_t fileCountLimit);
// What the label shows and the limit a position stands for.
struct SliderReading {
    std::string label;
    int32_t limit;
};
SliderReading readSlider(int position, const std::string& noLimitText);

// The texts of the edits.
struct Edits {
    std::string filter;
    std::string comPort;
    std::string fourthSlotVolume;
    std::string interfaceIndex;
    std::string usblanSwitchCommand;
    std::string usblanIp;
};
Edits editsFrom(const ConfigRecord& config);

// What the dialog hands to OK: its edits and its working values.
struct Choice {
    Edits edits;
    int32_t mode = 0;
    int32_t fileCountLimit = -1;
};

// The longest texts the record keeps.
inline constexpr size_t kFilterMax = 254;
inline constexpr size_t kShortTextMax = 19;
inline constexpr size_t kLongTextMax = 254;

// What taking the edits did.
struct Taken {
    bool modeChanged = false;
    bool interfaceIndexSet = false;
    bool interfaceIndexRefused = false;
};

// Stores the limit, the filter, the COM port, the volume, the interface index, the
// USBLAN command and address, and the mode into the record. A text is cut to its field;
// an interface index that is not a number from 0 to 65535 leaves the stored one.
Taken takeChoice(ConfigRecord& config, const Choice& choice, int32_t modeAtOpening);

// The text of location entry 0 in mode 3: the search pattern with its volume part
// ("/a") turned into two blanks.
std::string firstLocationText(const std::string& searchPattern);

// A check box click on a flag that the program also keeps a running copy of (the filename
// filter, the P2k05 override): the running copy takes the record's new value at once.
void shareClick(const ConfigRecord& config, RunSettings& running, int32_t ConfigRecord::*flag);

}  // namespace options

// OK of the options dialog, in order: the limit, the companion autostart, the edits, the
// restart when the mode changed, the session sequence and a new attach with a link in
// mode 0, and mode 3's filter and location entry 0.
class OptionsApplier {
public:
    // companion may be null (nothing is set up).
    OptionsApplier(AppContext& context, AppControl& control, DeviceView& view,
                   CompanionControl* companion)
        : context_(context), control_(control), view_(view), companion_(companion) {}

    void apply(const options::Choice& choice, int32_t modeAtOpening);

private:
    void setUpCompanion();
    void refreshLink();
    void applyUsblanFilter();

    AppContext& context_;
    AppControl& control_;
    DeviceView& view_;
    CompanionControl* companion_;
};

}  // namespace mdk
