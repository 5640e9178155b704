#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mdk {

// The settings record: 1681 bytes, little-endian, written to ".config" as a plain image.
// Each field: name, offset, width and default. Numbers are 32-bit words; texts are
// zero-terminated inside their fixed width; raw fields are kept byte for byte.
#define MDK_CONFIG_FIELDS(I32, TEXT, RAW)              \
    I32(fileCountLimit, 0, -1)                         \
    I32(fadeIn, 4, 0)                                  \
    I32(commandSet, 8, 3)                              \
    I32(windowLeft, 12, 0)                             \
    I32(windowRight, 16, 624)                          \
    I32(windowTop, 20, 0)                              \
    I32(windowBottom, 24, 446)                         \
    RAW(reserved, 28, 16)                              \
    I32(noviceAlerts, 44, 1)                           \
    I32(checkRelease, 48, 1)                           \
    I32(useTidewatch, 52, 0)                           \
    I32(useFilter, 56, 0)                              \
    TEXT(searchPattern, 60, 262, "/a/*.*")             \
    I32(leftSource, 322, 2)                            \
    I32(rightSource, 326, 2)                           \
    I32(useFixedComPort, 330, 0)                       \
    TEXT(comPort, 334, 20, "")                         \
    TEXT(leftPath, 354, 255, "")                       \
    TEXT(rightPath, 609, 255, "")                      \
    I32(forceP2k05, 864, 0)                            \
    I32(logPackets, 868, 0)                            \
    I32(useFixedInterfaceIndex, 872, 0)                \
    I32(interfaceIndex, 876, 8)                        \
    I32(overrideTargetPath, 880, 0)                    \
    I32(useFourthSlot, 884, 0)                         \
    TEXT(fourthSlotVolume, 888, 20, "")                \
    TEXT(favouriteFolder, 908, 255, "")                \
    I32(connectionMode, 1163, 0)                       \
    TEXT(usblanSwitchCommand, 1167, 255, "at+mode=13") \
    TEXT(usblanIp, 1422, 255, "")                      \
    I32(useGivenIp, 1677, 0)

// The P2k command-set option (commandSet field).
enum class CommandSetOption : int32_t { Standard = 0, SafeSlow3G = 1, NewFast3G = 3 };

// Connection modes (connectionMode field).
enum class ConnectionMode : int32_t {
    P2k = 0,
    UsblanSamba = 1,
    UsblanFtp = 2,
    P2k05OverUsblan = 3
};

struct ConfigRecord {
    static constexpr size_t kSize = 1681;
    using Image = std::array<uint8_t, kSize>;

#define MDK_DECLARE_I32(name, offset, def) int32_t name = def;
#define MDK_DECLARE_TEXT(name, offset, width, def) std::string name = def;
#define MDK_DECLARE_RAW(name, offset, width) std::array<uint8_t, width> name = rawDefault_##name();
    static constexpr std::array<uint8_t, 16> rawDefault_reserved() {
        return {1, 0, 0, 0};
    }
    MDK_CONFIG_FIELDS(MDK_DECLARE_I32, MDK_DECLARE_TEXT, MDK_DECLARE_RAW)
#undef MDK_DECLARE_I32
#undef MDK_DECLARE_TEXT
#undef MDK_DECLARE_RAW

    // Reads the first kSize bytes field by field; nullopt when fewer bytes are given.
    // Texts are cut at their width (a missing terminator never runs on).
    static std::optional<ConfigRecord> parse(std::span<const uint8_t> bytes);
    Image serialize() const;
    // The stored-file validity rule: first word 0xFFFFFFFF, second word 0.
    static bool imageIsValid(std::span<const uint8_t> bytes);

    ConnectionMode mode() const {
        return static_cast<ConnectionMode>(connectionMode);
    }
    bool usblanP2k05() const {
        return mode() == ConnectionMode::P2k05OverUsblan;
    }

    bool operator==(const ConfigRecord&) const = default;
};

// The width of a text field, for callers that must refuse over-long texts.
size_t configTextWidth(const char* fieldName);

}  // namespace mdk
