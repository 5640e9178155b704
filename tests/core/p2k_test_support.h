#pragma once
// Helpers shared by the command set, catalogue and file transfer tests: a recording
// progress bar, a scripted classic phone wired into a fixture, and filters over the
// commands a link saw.
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "p2k/command_set.h"
#include "phone_fixture.h"

namespace mdk::test {

// Every call the progress bar received.
class RecordingProgress final : public ProgressSink {
public:
    void setRange(int low, int high) override {
        std::lock_guard lock(mutex_);
        ranges_.emplace_back(low, high);
    }
    void setPosition(int position) override {
        std::lock_guard lock(mutex_);
        positions_.push_back(position);
    }
    void step() override {
        std::lock_guard lock(mutex_);
        ++steps_;
    }
    int steps() const {
        std::lock_guard lock(mutex_);
        return steps_;
    }
    std::vector<std::pair<int, int>> ranges() const {
        std::lock_guard lock(mutex_);
        return ranges_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<int, int>> ranges_;
    std::vector<int> positions_;
    int steps_ = 0;
};

// A fixture whose driver link is a scripted classic phone: queue replies on `phone`,
// read what was sent from `phone.commands`.
class ScriptedFixture {
public:
    ScriptedFixture() : link(std::make_shared<ScriptedLink>()) {
        phone.attach(*link);
        f.context.driver.setLink(link);
    }
    ScriptedFixture(const ScriptedFixture&) = delete;
    ScriptedFixture& operator=(const ScriptedFixture&) = delete;

    PhoneFixture f;
    std::shared_ptr<ScriptedLink> link;
    ScriptedClassicPhone phone;
};

inline constexpr uint8_t kReplyData = 8;    // classic status: reply with data
inline constexpr uint8_t kReplyNoData = 6;  // classic status: done, no data
inline constexpr uint8_t kReplyError = 0x0E;

// The file-system commands (0x4A) of sub-command sub, in the order sent.
inline std::vector<SeenCommand> fileCommands(const std::vector<SeenCommand>& all, uint32_t sub) {
    std::vector<SeenCommand> out;
    for (const auto& c : all) {
        if (c.command == CommandSet::kFileSystem && c.payload.size() >= 4 &&
            bytes::be32(c.payload.data()) == sub) {
            out.push_back(c);
        }
    }
    return out;
}

// The 32-bit count of each read or write request.
inline std::vector<uint32_t> requestCounts(const std::vector<SeenCommand>& requests) {
    std::vector<uint32_t> counts;
    for (const auto& r : requests) {
        counts.push_back(r.payload.size() >= 8 ? bytes::be32(&r.payload[4]) : 0xDEADBEEF);
    }
    return counts;
}

// The path of a file-system command whose arguments are a 32-bit value and a name.
inline std::string namedPath(const SeenCommand& c) {
    return c.payload.size() > 8 ? std::string(c.payload.begin() + 8, c.payload.end())
                                : std::string();
}

// Bytes 0, 1, 2, ... (mod 251), so that a shifted or repeated block shows.
inline std::vector<uint8_t> patternBytes(size_t size, uint8_t seed = 0) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>((i + seed) % 251);
    return data;
}

}  // namespace mdk::test
