#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "base/app_control.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/prompter.h"
#include "device/device_connection.h"
#include "device/device_platform.h"
#include "device/device_view.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/transfer_watch.h"
#include "platform/phone_lock.h"

namespace mdk::cli {

// A failure that ends the command with one "ERROR:" line and exit code 1 (or another
// the command gives).
struct CommandError {
    std::string message;
    int exitCode = 1;
};

// A malformed argument (a number, a name): the usage text and exit code 2.
struct UsageError {
    std::string message;
};

// What the command-line tool shows of the event log, the status bar and the progress.
class ConsoleView final : public LogView, public PhoneView, public ProgressSink {
public:
    explicit ConsoleView(bool showLog) : showLog_(showLog) {}
    ~ConsoleView() override { flushLive(); }

    void appendLine(const std::string& text) override;
    void replaceLastLine(const std::string& text) override;
    void setStatusText(int part, const std::string& text) override;
    void setPhoneLocations(const std::vector<VolumeEntry>& entries) override;
    std::string leftLocationText() override { return wantedVolume_; }
    void setRange(int low, int high) override;
    void setPosition(int position) override;
    void step() override;

    void setWantedVolume(const std::string& volume) { wantedVolume_ = volume; }
    // While a transfer run is watched its progress line (bytes, speed, time left) takes
    // the place of the bar.
    void setTransferActive(bool active) { transferActive_ = active; }
    void showTransfer(const TransferSnapshot& state);
    void finishProgress();

private:
    void flushLive();
    void drawProgress();

    bool showLog_;
    bool progressShown_ = false;
    bool transferActive_ = false;
    std::string live_;
    std::string wantedVolume_ = "/a";
    int low_ = 0;
    int high_ = 0;
    int position_ = 0;
    static constexpr size_t kLineWidth = 100;
};

// Prompts answered on the console: the text goes to stderr, the default button is taken.
class ConsolePrompter final : public Prompter {
public:
    PromptAnswer ask(const Prompt& prompt) override;
};

// The tool never restarts itself.
class NoRestart final : public AppControl {
public:
    void restartApplication() override {}
};

// One run of the tool: the application context with the phone link open.
class Session {
public:
    Session(const std::string& programFolder, bool showLog, bool trace);
    // Opens the phone at address and checks its interface; throws CommandError.
    // "usblan:HOST[:PORT]" connects to a Linux phone over USBLAN; "auto" runs one attach
    // pass (switching a modem or memory-card phone into P2k mode first). The phone's lock
    // is taken first and held for the whole run; another client's lock is waited for a
    // few seconds.
    void connect(const std::string& address);
    // For a command that needs the phone only sometimes: keeps the address, and
    // connectWhenNeeded() connects to it on the first call.
    void deferConnect(const std::string& address) { address_ = address; }
    // The address given (or last connected to).
    const std::string& address() const { return address_; }
    void connectWhenNeeded();
    // The exit code of a command that ends without an error but has a result to tell
    // (seem-diff: 1 when the records differ).
    void setExitCode(int code) { exitCode_ = code; }
    int exitCode() const { return exitCode_; }
    // The exit code of the errors the session itself raises (a silent phone); 1 unless
    // the command has its own convention.
    void setFailureExitCode(int code) { failureExitCode_ = code; }
    // A phone that stopped answering ends the command: throws CommandError "the phone at
    // ADDRESS does not answer", followed by what the failed command left on the phone.
    void checkAnswering() const;
    // What a failed command left on the phone ("a partial file remains on the phone: X"),
    // for the error that names a silent phone.
    void noteLeftOnPhone(std::string text) { leftOnPhone_ = std::move(text); }
    // Probes the phone (framing and family).
    void probe();
    // Checked transfers when on, or when the Linux settings file asks for them.
    void setVerifyTransfers(bool on);
    // Reads the catalogue of the volume that holds phonePath ("/a/..."); a list the phone
    // broke off (a malformed block) ends the command.
    void loadVolume(const std::string& phonePath);

    // True on a Linux phone reached over USBLAN; its model name then comes from the phone.
    bool usblan() const { return usblan_; }
    std::string usblanModel() const;

    AppContext& context() { return context_; }
    CommandSet& commands() { return context_.commands; }
    Catalogue& catalogue() { return context_.catalogue; }
    EventLog& log() { return context_.log; }
    ConsoleView& view() { return view_; }
    Clock& clock() { return clock_; }

    static constexpr int kLockWaitMs = 3000;

private:
    void connectDevice(const std::string& address);
    void checkInterfaceName(const std::string& address);
    // Waits for the phone's lock; the core then takes it itself (auto, usblan) or the
    // session keeps it (hold).
    void waitForPhone(const std::string& key, bool hold);

    SystemClock clock_;
    AppContext context_;
    std::unique_ptr<LinuxDevicePlatform> platform_;
    SilentDeviceView deviceView_;
    NoRestart noRestart_;
    std::unique_ptr<DeviceConnection> device_;
    bool usblan_ = false;
    ConsoleView view_;
    ConsolePrompter prompter_;
    bool probed_ = false;
    bool connected_ = false;
    int exitCode_ = 0;
    int failureExitCode_ = 1;
    std::string address_;
    std::string leftOnPhone_;
    PhoneLock lock_;
};

// "P2k:/a/x" or "a/x" -> "/a/x"; a trailing "/" is kept. A path with an empty, "." or
// ".." component is refused (CommandError) before anything is sent.
std::string normalizePhonePath(std::string path);
// The volume ("/a") of a phone path.
std::string volumeOf(const std::string& phonePath);

}  // namespace mdk::cli
