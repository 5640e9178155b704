#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

// A device node as the system shows it: owner, group, mode bits and the users and groups
// its access list names (what udev's uaccess tag adds for the user of the active session).
struct NodeInfo {
    std::string path;
    bool exists = false;
    uid_t owner = 0;
    gid_t group = 0;
    std::string groupName;                   // "dialout", empty when unknown
    unsigned mode = 0;                       // permission bits (0660)
    std::map<uid_t, unsigned> aclUsers;      // named users of the access list: rwx bits
    std::map<gid_t, unsigned> aclGroups;     // named groups
    std::optional<unsigned> aclGroupObject;  // the owning group's entry
    std::optional<unsigned> aclMask;         // the list's mask entry
};

// The user the program runs as.
struct UserIdentity {
    uid_t uid = 0;
    std::vector<gid_t> groups;  // the primary group first
    std::string name;
};

// True when the user may open the node for reading and writing (root always may). The
// owner's bits, then a named user of the access list (under its mask), then the owning
// and named groups, then the others' bits, as the kernel decides.
bool canReadWrite(const NodeInfo& node, const UserIdentity& user);
// The named users and groups of a "system.posix_acl_access" attribute value (version 2,
// entries of tag, permissions and id, little-endian); false when the value is malformed.
bool parsePosixAcl(const std::vector<uint8_t>& value, NodeInfo& node);

// One interface of a USB device, from sysfs.
struct UsbInterfaceInfo {
    std::string sysName;  // "2-1:1.8"
    int number = -1;
    int interfaceClass = -1;
    int subClass = -1;
    int protocol = -1;
    std::string name;                       // the interface string
    std::string driver;                     // the bound kernel driver, empty for none
    std::vector<std::string> ttys;          // "ttyACM0"
    std::vector<std::string> netAdapters;   // "usb0"
    std::vector<std::string> blockDevices;  // "sdb"
};

// One USB device of the vendor asked for, from sysfs.
struct UsbDeviceInfo {
    std::string sysName;  // "2-1"
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string manufacturer;
    std::string productName;
    std::string serial;
    int bus = 0;
    int address = 0;
    std::string devName;  // "bus/usb/002/003": the node under the dev root
    std::vector<UsbInterfaceInfo> interfaces;
};

// Reads USB devices and their nodes without opening any device: sysfs under
// root/sys, nodes under root/dev, udev rules under root/etc and root/usr. Tests give a
// fixture tree as the root and describe the nodes' owners and access lists themselves.
class UsbSysfs {
public:
    using NodeReader = std::function<NodeInfo(const std::string& path)>;

    explicit UsbSysfs(std::string root = "/", NodeReader nodes = {});

    // False when root/sys/bus/usb does not exist (no USB, or no sysfs at all).
    bool usbBusPresent() const;
    // Every device of the vendor, in the order of their sysfs names; interfaces in the
    // order of their numbers. A file that cannot be read leaves its field empty.
    std::vector<UsbDeviceInfo> devices(uint16_t vendor) const;
    // The node of a device file name ("ttyACM0", "bus/usb/002/003") under the dev root.
    NodeInfo node(const std::string& devName) const;
    // The MAC address of a network adapter (sysfs "address"), empty when unknown.
    std::string macAddress(const std::string& adapter) const;
    // Every udev rules file of that name in the folders udev reads, and (separately) in
    // the folders it does not read (/usr/local).
    std::vector<std::string> rulesRead(const std::string& fileName) const;
    std::vector<std::string> rulesNotRead(const std::string& fileName) const;
    const std::string& root() const { return root_; }

private:
    std::string under(const std::string& path) const;
    // The files of that name in the folders (relative to the root) that exist.
    std::vector<std::string> existing(std::span<const char* const> folders,
                                      const std::string& fileName) const;

    std::string root_;
    NodeReader nodes_;
};

// stat and the access-list attribute of a real node.
NodeInfo readNode(const std::string& path);
// The user this process runs as (getuid, getgroups, the password database).
UserIdentity currentUser();

}  // namespace mdk
