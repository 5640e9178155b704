#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver_link.h"

namespace mdk {

// One present Test Command interface candidate: its Windows-style device path (the
// interface digit at position 30) and how to open it (nullptr when it cannot be opened).
struct InterfaceCandidate {
    std::string devicePath;
    std::function<std::shared_ptr<DriverLink>()> open;
};

// Enumerates the interfaces the driver link's backends can reach; the name request then
// decides which one is taken.
class InterfaceSource {
public:
    virtual ~InterfaceSource() = default;
    // The present candidates, in a stable order. May open devices (libusb opens every
    // interface of a Motorola device to read its name, claiming none); candidates not
    // taken are released when the list is dropped.
    virtual std::vector<InterfaceCandidate> enumerate() = 0;
};

using LinkOpener = std::function<std::unique_ptr<DriverLink>(const std::string&, std::string&)>;

// "usb" (or empty): every interface of a Motorola device through libusb. Any other
// address ("unix:PATH", "tcp:HOST:PORT", or what the opener understands) is the only
// candidate, opened through the opener (openDriverLink by default). A candidate holds the
// phone's lock (PhoneLock) while it is open; a phone another client holds offers none,
// and lastError() says who has it.
class LinkAddressInterfaceSource final : public InterfaceSource {
public:
    explicit LinkAddressInterfaceSource(std::string address, LinkOpener opener = {});
    std::vector<InterfaceCandidate> enumerate() override;
    const std::string& lastError() const { return lastError_; }

private:
    std::string address_;
    LinkOpener opener_;
    std::string lastError_;
};

// Candidates given by the test; counts the enumerations.
class FakeInterfaceSource final : public InterfaceSource {
public:
    std::vector<InterfaceCandidate> enumerate() override;
    void setCandidates(std::vector<InterfaceCandidate> candidates);
    int enumerations() const;

private:
    mutable std::mutex mutex_;
    std::vector<InterfaceCandidate> candidates_;
    int enumerations_ = 0;
};

}  // namespace mdk
