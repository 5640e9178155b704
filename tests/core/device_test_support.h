#pragma once
// Fakes and a fixture shared by the device connection tests.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "base/app_control.h"
#include "base/bytes.h"
#include "base/event_log.h"
#include "base/prompter.h"
#include "device/device_connection.h"
#include "device/device_view.h"
#include "device/link_state.h"
#include "phone_fixture.h"

namespace mdk::test {

using RecordingLog = LogLines;

// A Test Command interface candidate that answers the name request with its own name and
// goes away when unplugged.
class NamedLink final : public DriverLink {
public:
    NamedLink(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    DriverStatus request(uint32_t code, std::span<const uint8_t>, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t) override {
        output.clear();
        if (!isOpen() || code != kRequestInterfaceName) return DriverStatus::Failed;
        bytes::appendLe32(output, static_cast<uint32_t>(name_.size()));
        for (char c : name_) bytes::appendLe16(output, static_cast<uint8_t>(c));
        if (output.size() > capacity) output.resize(capacity);
        return DriverStatus::Completed;
    }
    bool isOpen() const override { return open_ && !unplugged_; }
    void close() override {
        open_ = false;
        ++closes_;
        wake();
    }
    std::string devicePath() const override { return path_; }
    bool waitForRemoval() override {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return stop_ || !isOpen(); });
        const bool removed = !isOpen();
        stop_ = false;
        return removed;
    }
    void stopWaiting() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
    }
    void unplug() {
        unplugged_ = true;
        wake();
    }
    int closes() const { return closes_; }

private:
    void wake() {
        std::lock_guard lock(mutex_);
        cv_.notify_all();
    }
    std::string name_;
    std::string path_;
    std::atomic<bool> open_{true};
    std::atomic<bool> unplugged_{false};
    std::atomic<int> closes_{0};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
};

inline std::string pathWithDigit(char digit) {
    return makeDevicePath(0x4901, digit - '0', "5&1");
}

inline InterfaceCandidate candidateOf(std::shared_ptr<DriverLink> link) {
    std::string path = link->devicePath();
    return {path, [link] { return link; }};
}

// Records what the device connection does to the window.
class RecordingView final : public DeviceView {
public:
    void setStatusText(int part, const std::string& text) override {
        add("status " + std::to_string(part) + ": " + text);
    }
    void phoneInterfaceUp() override { add("up"); }
    void phoneInterfaceDown() override { add("down"); }
    void refreshDriveEntries(const std::string& mountPoint) override {
        add("drives " + mountPoint);
    }
    void showPhoneVolumes(const std::vector<std::string>& entries) override {
        std::string text = "volumes";
        for (const auto& e : entries) text += "|" + e;
        add(text);
    }
    void replaceFirstLocation(const std::string& text) override { add("first " + text); }
    void resetProgress() override { add("progress 0"); }
    void closeMainWindow() override { add("close"); }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int count(const std::string& call) const {
        auto all = calls();
        return static_cast<int>(std::count(all.begin(), all.end(), call));
    }

private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

class RecordingControl final : public AppControl {
public:
    void restartApplication() override { ++restarts; }
    std::atomic<int> restarts{0};
};

// A fresh program folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/mdk-device-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Waits (real time, bounded) until condition holds; returns whether it did.
inline bool eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 2) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

// The message table used by the tests: message n reads "message n".
inline std::string numberedMessages() {
    std::string text;
    for (int n = 0; n < 140; ++n) text += "message " + std::to_string(n) + "\n";
    return text;
}

// A program context over fakes, with a manual clock and scripted answers.
struct DeviceFixture {
    explicit DeviceFixture(ConnectionMode mode = ConnectionMode::P2k) {
        context.messages.parse(numberedMessages());
        context.log.setView(&log);
        context.prompter.setTarget(&prompter);
        context.config.connectionMode = static_cast<int32_t>(mode);
        context.runSettings.takeFrom(context.config);
    }
    ~DeviceFixture() { connection.reset(); }

    DeviceConnection& device(DevicePlatform services) {
        if (!connection) {
            connection = std::make_unique<DeviceConnection>(context.device, services, view, control,
                                                            settings);
        }
        return *connection;
    }
    DeviceConnection& device() { return device(fakes.services()); }
    LinkState& state() { return context.link; }

    TempFolder folder;
    ManualClock clock;
    AppContext context{folder.path(), clock};
    RecordingLog log;
    ScriptedPrompter prompter;
    FakeDevicePlatform fakes;
    RecordingView view;
    RecordingControl control;
    LinuxSettings settings;
    std::unique_ptr<DeviceConnection> connection;
};

}  // namespace mdk::test
