#pragma once
// A program context wired to a simulated phone, with a recording log and a manual clock,
// and links that capture or script driver requests.
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "base/bytes.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/prompter.h"
#include "platform/driver_link.h"
#include "sim/phone_model.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace mdk::test {

// Every log line, in order; the live line replaced in place.
class LogLines final : public LogView {
public:
    void appendLine(const std::string& text) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(text);
    }
    void replaceLastLine(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (!lines_.empty()) lines_.back() = text;
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    int count(const std::string& text) const {
        int n = 0;
        for (const auto& line : lines()) n += line == text;
        return n;
    }
    bool has(const std::string& text) const { return count(text) > 0; }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// One driver request as the link saw it.
struct SeenRequest {
    uint32_t code;
    std::vector<uint8_t> input;
};

// A P2k command decoded from a classic or P2k05 frame.
struct SeenCommand {
    uint16_t sequence;
    uint16_t command;
    std::vector<uint8_t> payload;
};

// Passes requests on to another link and keeps a copy of each; onRequest runs first.
class CapturingLink final : public ForwardingLink {
public:
    explicit CapturingLink(std::shared_ptr<DriverLink> inner) : ForwardingLink(std::move(inner)) {}
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override {
        {
            std::lock_guard lock(mutex_);
            seen_.push_back({code, {input.begin(), input.end()}});
        }
        if (onRequest) onRequest(code, input);
        return ForwardingLink::request(code, input, capacity, output, waitMs);
    }

    std::vector<SeenRequest> seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        seen_.clear();
    }
    // The P2k commands sent, decoded from both framings.
    std::vector<SeenCommand> commands() const {
        std::vector<SeenCommand> out;
        for (const auto& r : seen()) {
            const auto& in = r.input;
            if (r.code == kRequestControlTransfer && in.size() >= 16 && in[0] == 0x41) {
                const uint16_t n = bytes::be16(&in[12]);
                out.push_back({uint16_t(bytes::be16(&in[8]) & 0x0FFF),
                               uint16_t(bytes::be16(&in[10]) & 0x0FFF),
                               {in.begin() + 16, in.begin() + 16 + n}});
            } else if (r.code == kRequestP2k05Send && in.size() >= 18) {
                const uint32_t n = bytes::be32(&in[13]);
                out.push_back({uint16_t(bytes::be16(&in[5]) & 0x0FFF),
                               uint16_t(bytes::be16(&in[7]) & 0x0FFF),
                               {in.begin() + 17, in.begin() + 17 + n}});
            }
        }
        return out;
    }
    size_t count(uint32_t code, uint8_t firstByte, uint8_t secondByte) const {
        size_t n = 0;
        for (const auto& r : seen()) {
            if (r.code == code && r.input.size() >= 2 && r.input[0] == firstByte &&
                r.input[1] == secondByte) {
                ++n;
            }
        }
        return n;
    }

    std::function<void(uint32_t, std::span<const uint8_t>)> onRequest;

private:
    std::shared_ptr<DriverLink> inner_;
    mutable std::mutex mutex_;
    std::vector<SeenRequest> seen_;
};

// A link whose every request gets a scripted answer: each queued function answers one
// request (code, input) by filling output and returning a status.
class ScriptedLink final : public DriverLink {
public:
    using Answer =
        std::function<DriverStatus(uint32_t, std::span<const uint8_t>, std::vector<uint8_t>&)>;
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t) override {
        output.clear();
        DriverStatus status = DriverStatus::Failed;
        if (answer) status = answer(code, input, output);
        if (output.size() > capacity) output.resize(capacity);
        return status;
    }
    bool isOpen() const override { return true; }
    void close() override {}
    std::string devicePath() const override { return makeDevicePath(0x4901, 8, "script"); }
    bool waitForRemoval() override { return false; }
    void stopWaiting() override {}

    Answer answer;
};

// A classic phone whose replies to P2k commands come from a queue: each entry is the
// status nibble and the data of one reply; the sequence number is echoed.
class ScriptedClassicPhone {
public:
    struct Reply {
        uint8_t status;
        std::vector<uint8_t> data;
    };
    void queue(uint8_t status, std::vector<uint8_t> data = {}) {
        replies_.push_back({status, std::move(data)});
    }
    // Installs this phone as the answer of link.
    void attach(ScriptedLink& link) {
        link.answer = [this](uint32_t code, std::span<const uint8_t> in,
                             std::vector<uint8_t>& out) { return handle(code, in, out); };
    }
    std::vector<SeenCommand> commands;

private:
    DriverStatus handle(uint32_t code, std::span<const uint8_t> in, std::vector<uint8_t>& out) {
        if (code != kRequestControlTransfer || in.size() < 8) return DriverStatus::Failed;
        if (in[0] == 0x41) {
            const uint16_t n = bytes::be16(&in[12]);
            commands.push_back({uint16_t(bytes::be16(&in[8]) & 0x0FFF),
                                uint16_t(bytes::be16(&in[10]) & 0x0FFF),
                                {in.begin() + 16, in.begin() + 16 + n}});
            pending_ = true;
            out.assign(5, 0);
            return DriverStatus::Completed;
        }
        if (in[0] == 0xC1 && in[1] == 0x00) {
            out = {0, 0, 0, 0, 0, uint8_t(pending_ ? 1 : 0), 0, 0, 0, 0, 0, 0};
            return DriverStatus::Completed;
        }
        if (in[0] == 0xC1 && in[1] == 0x01 && pending_) {
            pending_ = false;
            Reply r = replies_.empty() ? Reply{6, {}} : replies_.front();
            if (!replies_.empty()) replies_.pop_front();
            out = {0, 0, 0, 0, 1, 0, 0, 0};
            bytes::appendBe16(out, uint16_t(8 + r.data.size()));
            bytes::appendBe16(out, uint16_t(0x8000 | commands.back().sequence));
            out.push_back(uint8_t(r.status << 4));
            out.push_back(0);
            bytes::appendBe16(out, uint16_t(r.data.size()));
            bytes::appendBe16(out, 0);
            out.insert(out.end(), r.data.begin(), r.data.end());
            return DriverStatus::Completed;
        }
        return DriverStatus::Failed;
    }

    std::deque<Reply> replies_;
    bool pending_ = false;
};

// The messages of the tests read "M<number>", so a log line names its message.
inline void loadNumberedMessages(MessageTable& table) {
    std::string text;
    for (int i = 0; i < 140; ++i) text += "M" + std::to_string(i) + "\n";
    table.parse(text);
}

// A fresh program context on a temporary program folder, with a simulated phone attached
// through a capturing link.
class PhoneFixture {
public:
    explicit PhoneFixture(sim::PhoneKind kind = sim::PhoneKind::P2k05Gsm)
        : folder_(makeFolder()),
          context(folder_.string(), clock),
          model(kind),
          phone(model),
          simLink(std::make_shared<sim::SimLink>(phone)),
          link(std::make_shared<CapturingLink>(simLink)) {
        loadNumberedMessages(context.messages);
        context.log.setView(&log);
        context.prompter.setTarget(&prompter);
        context.driver.setLink(link);
    }
    ~PhoneFixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    PhoneFixture(const PhoneFixture&) = delete;
    PhoneFixture& operator=(const PhoneFixture&) = delete;

    std::string programFolder() const { return folder_.string(); }

private:
    static std::filesystem::path makeFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "mdk-test-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }
    std::filesystem::path folder_;

public:
    ManualClock clock;
    AppContext context;
    LogLines log;
    ScriptedPrompter prompter;
    sim::PhoneModel model;
    sim::SimPhone phone;
    std::shared_ptr<sim::SimLink> simLink;
    std::shared_ptr<CapturingLink> link;
};

}  // namespace mdk::test
