#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace mdk {

// A program the caller follows while it runs: started without a shell, output discarded
// but for its error output, which is handed over line by line; its end is reported with
// its exit code. Both reports come from the process's own watcher thread.
class WatchedProcess {
public:
    struct Events {
        std::function<void(const std::string& line)> line;
        // The exit code; 128 + N when signal N ended it.
        std::function<void(int exitCode)> ended;
    };

    WatchedProcess() = default;
    // Ends a process still running (SIGTERM) and waits for its end.
    ~WatchedProcess();
    WatchedProcess(const WatchedProcess&) = delete;
    WatchedProcess& operator=(const WatchedProcess&) = delete;

    // Starts arguments[0] (a path, or a name looked up on PATH) with the arguments. False with
    // error set when it cannot be started or one is still running; no events follow then.
    bool start(const std::vector<std::string>& arguments, Events events, std::string& error);
    bool running() const { return pid_ > 0 && !ended_; }
    int processId() const { return pid_; }
    // Sends SIGTERM; the end is reported as usual.
    void terminate();
    // Waits until the watcher thread has reported the end (at once when none runs).
    void wait();

private:
    void watch(int errorPipe, Events events);

    int pid_ = -1;
    std::atomic<bool> ended_{false};
    std::thread watcher_;
};

}  // namespace mdk
