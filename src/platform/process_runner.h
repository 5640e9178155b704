#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace mdk {

// Starts outside commands the way the program's helpers are started: hidden (no terminal,
// output discarded, a session of their own) and not waited for.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Starts "/bin/sh -c commandLine" in workingFolder (empty: the current directory).
    // Returns a process id (> 0), or -1 when the command cannot be started. Never blocks.
    virtual int start(const std::string& commandLine, const std::string& workingFolder = {}) = 0;
    // Ends a started command and everything it started. Never blocks.
    virtual void terminate(int processId) = 0;
};

class PosixCommandRunner final : public CommandRunner {
public:
    ~PosixCommandRunner() override;
    int start(const std::string& commandLine, const std::string& workingFolder = {}) override;
    void terminate(int processId) override;

private:
    void reapFinished();
    std::mutex mutex_;
    std::vector<int> children_;
};

// Records the commands instead of running them.
class FakeCommandRunner final : public CommandRunner {
public:
    int start(const std::string& commandLine, const std::string& workingFolder = {}) override;
    void terminate(int processId) override;
    std::vector<std::string> started() const;
    std::vector<int> terminated() const;
    void setFailing(bool failing);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> started_;
    std::vector<int> terminated_;
    bool failing_ = false;
};

// Starts the program again once this instance has ended.
class Restarter {
public:
    virtual ~Restarter() = default;
    // Arranges the new start; the caller then closes the program. False when nothing
    // could be arranged.
    virtual bool restartAfterExit() = 0;
};

// A detached helper waits for this process to end, then executes the same program with the
// same arguments (read from /proc/self) in the same folder.
class ExecRestarter final : public Restarter {
public:
    bool restartAfterExit() override;
};

class FakeRestarter final : public Restarter {
public:
    bool restartAfterExit() override;
    int requests() const;

private:
    mutable std::mutex mutex_;
    int requests_ = 0;
};

}  // namespace mdk
