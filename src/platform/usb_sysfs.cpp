#include "platform/usb_sysfs.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/safe_file.h"

namespace mdk {
namespace fs = std::filesystem;

namespace {

constexpr unsigned kReadWrite = 6;
constexpr uint32_t kAclVersion = 2;
constexpr size_t kAclHeader = 4;
constexpr size_t kAclEntry = 8;
constexpr int kBlockSearchDepth = 6;
constexpr size_t kNameBuffer = 16384;

enum AclTag : uint16_t {
    kUserObject = 0x01,
    kUser = 0x02,
    kGroupObject = 0x04,
    kGroup = 0x08,
    kMask = 0x10,
    kOther = 0x20,
};

const char* const kRulesFoldersRead[] = {"etc/udev/rules.d", "run/udev/rules.d",
                                         "usr/lib/udev/rules.d", "lib/udev/rules.d"};
const char* const kRulesFoldersNotRead[] = {"usr/local/lib/udev/rules.d",
                                            "usr/local/etc/udev/rules.d"};

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A sysfs number attribute: hexadecimal ("22b8", "ff") or decimal; fallback when absent
// or malformed.
long numberAt(const fs::path& file, int base, long fallback) {
    const std::string text = firstLine(file.string());
    if (text.empty() || text.size() > 8) return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    return end && *end == '\0' ? value : fallback;
}

std::string driverOf(const fs::path& dir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

// The names of the entries of dir, sorted; those that match keep.
template <typename Keep>
std::vector<std::string> entryNames(const fs::path& dir, Keep keep) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (keep(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The block devices below a storage interface (host/target/lun/block/sdX), found without
// following links, so the search never leaves the interface.
std::vector<std::string> blockDevicesBelow(const fs::path& dir) {
    std::vector<std::string> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    const fs::recursive_directory_iterator end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() > kBlockSearchDepth) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec) || it->path().filename() != "block") continue;
        for (auto& name : entryNames(it->path(), [](const std::string&) { return true; })) {
            found.push_back(name);
        }
        it.disable_recursion_pending();
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The name of a group (reentrant: detect also runs on a worker thread).
std::string groupNameOf(gid_t gid) {
    std::vector<char> buffer(kNameBuffer);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return found->gr_name;
}

UsbInterfaceInfo readInterface(const fs::path& dir) {
    UsbInterfaceInfo info;
    info.sysName = dir.filename().string();
    info.number = static_cast<int>(numberAt(dir / "bInterfaceNumber", 16, -1));
    info.interfaceClass = static_cast<int>(numberAt(dir / "bInterfaceClass", 16, -1));
    info.subClass = static_cast<int>(numberAt(dir / "bInterfaceSubClass", 16, -1));
    info.protocol = static_cast<int>(numberAt(dir / "bInterfaceProtocol", 16, -1));
    info.name = firstLine((dir / "interface").string());
    info.driver = driverOf(dir);
    auto any = [](const std::string&) { return true; };
    info.ttys = entryNames(dir / "tty", any);
    for (auto& name : entryNames(dir, [](const std::string& n) { return startsWith(n, "tty"); })) {
        if (name != "tty") info.ttys.push_back(name);  // usb-serial: ttyUSB0 right here
    }
    info.netAdapters = entryNames(dir / "net", any);
    info.blockDevices = blockDevicesBelow(dir);
    return info;
}

}  // namespace

bool parsePosixAcl(const std::vector<uint8_t>& value, NodeInfo& node) {
    if (value.size() < kAclHeader || (value.size() - kAclHeader) % kAclEntry != 0) return false;
    if (le32(value.data()) != kAclVersion) return false;
    for (size_t at = kAclHeader; at < value.size(); at += kAclEntry) {
        const uint16_t tag = le16(&value[at]);
        const unsigned perm = le16(&value[at + 2]) & 7u;
        const uint32_t id = le32(&value[at + 4]);
        switch (tag) {
            case kUser:
                node.aclUsers[id] = perm;
                break;
            case kGroup:
                node.aclGroups[id] = perm;
                break;
            case kGroupObject:
                node.aclGroupObject = perm;
                break;
            case kMask:
                node.aclMask = perm;
                break;
            case kUserObject:
            case kOther:
                break;
            default:
                return false;
        }
    }
    return true;
}

bool canReadWrite(const NodeInfo& node, const UserIdentity& user) {
    if (!node.exists) return false;
    if (user.uid == 0) return true;
    auto grants = [](unsigned bits) { return (bits & kReadWrite) == kReadWrite; };
    const unsigned mask = node.aclMask.value_or(7u);
    if (node.owner == user.uid) return grants(node.mode >> 6);
    if (auto found = node.aclUsers.find(user.uid); found != node.aclUsers.end()) {
        return grants(found->second & mask);
    }
    bool groupMatched = false;
    auto isMember = [&](gid_t gid) {
        return std::find(user.groups.begin(), user.groups.end(), gid) != user.groups.end();
    };
    if (isMember(node.group)) {
        groupMatched = true;
        const unsigned bits = node.aclGroupObject.value_or((node.mode >> 3) & 7u);
        if (grants(bits & mask)) return true;
    }
    for (const auto& [gid, bits] : node.aclGroups) {
        if (!isMember(gid)) continue;
        groupMatched = true;
        if (grants(bits & mask)) return true;
    }
    return !groupMatched && grants(node.mode);
}

UsbSysfs::UsbSysfs(std::string root, NodeReader nodes)
    : root_(std::move(root)), nodes_(std::move(nodes)) {
    if (!nodes_) nodes_ = readNode;
}

std::string UsbSysfs::under(const std::string& path) const {
    return (fs::path(root_) / path).lexically_normal().string();
}

bool UsbSysfs::usbBusPresent() const {
    std::error_code ec;
    return fs::is_directory(under("sys/bus/usb"), ec);
}

std::vector<UsbDeviceInfo> UsbSysfs::devices(uint16_t vendor) const {
    std::vector<UsbDeviceInfo> found;
    const fs::path bus = under("sys/bus/usb/devices");
    // Devices only: interfaces ("2-1:1.0") have a colon in their names.
    auto isDevice = [](const std::string& n) { return n.find(':') == std::string::npos; };
    for (const std::string& name : entryNames(bus, isDevice)) {
        const fs::path dir = bus / name;
        if (numberAt(dir / "idVendor", 16, -1) != vendor) continue;
        UsbDeviceInfo device;
        device.sysName = name;
        device.vendor = vendor;
        device.product = static_cast<uint16_t>(numberAt(dir / "idProduct", 16, 0));
        device.manufacturer = firstLine((dir / "manufacturer").string());
        device.productName = firstLine((dir / "product").string());
        device.serial = firstLine((dir / "serial").string());
        device.bus = static_cast<int>(numberAt(dir / "busnum", 10, 0));
        device.address = static_cast<int>(numberAt(dir / "devnum", 10, 0));
        char node[40];
        std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", device.bus, device.address);
        device.devName = node;
        for (const std::string& child :
             entryNames(dir, [&](const std::string& n) { return startsWith(n, name + ":"); })) {
            device.interfaces.push_back(readInterface(dir / child));
        }
        std::stable_sort(device.interfaces.begin(), device.interfaces.end(),
                         [](const auto& a, const auto& b) { return a.number < b.number; });
        found.push_back(std::move(device));
    }
    return found;
}

NodeInfo UsbSysfs::node(const std::string& devName) const {
    return nodes_(under("dev/" + devName));
}

std::string UsbSysfs::macAddress(const std::string& adapter) const {
    return firstLine(under("sys/class/net/" + adapter + "/address"));
}

std::vector<std::string> UsbSysfs::existing(std::span<const char* const> folders,
                                            const std::string& fileName) const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const char* folder : folders) {
        const std::string path = under(std::string(folder) + "/" + fileName);
        if (fs::exists(path, ec)) found.push_back(path);
    }
    return found;
}

std::vector<std::string> UsbSysfs::rulesRead(const std::string& fileName) const {
    return existing(kRulesFoldersRead, fileName);
}

std::vector<std::string> UsbSysfs::rulesNotRead(const std::string& fileName) const {
    return existing(kRulesFoldersNotRead, fileName);
}

NodeInfo readNode(const std::string& path) {
    NodeInfo node;
    node.path = path;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return node;
    node.exists = true;
    node.owner = st.st_uid;
    node.group = st.st_gid;
    node.mode = st.st_mode & 0777;
    node.groupName = groupNameOf(st.st_gid);
    std::vector<uint8_t> acl(1024);
    const ssize_t n = ::getxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size());
    if (n > 0) {
        acl.resize(static_cast<size_t>(n));
        parsePosixAcl(acl, node);
    }
    return node;
}

UserIdentity currentUser() {
    UserIdentity user;
    user.uid = ::getuid();
    user.groups.push_back(::getgid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> more(static_cast<size_t>(count));
        if (::getgroups(count, more.data()) == count) {
            user.groups.insert(user.groups.end(), more.begin(), more.end());
        }
    }
    std::vector<char> buffer(kNameBuffer);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(user.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        user.name = found->pw_name;
    }
    return user;
}

}  // namespace mdk
