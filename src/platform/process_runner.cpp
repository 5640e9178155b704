#include "platform/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/safe_file.h"

extern char** environ;

namespace mdk {
namespace {

// In a freshly forked child: no terminal, output discarded, no inherited descriptors.
void detachChild() {
    ::setsid();
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2) ::close(null);
    }
    ::close_range(3, ~0U, 0);
}

}  // namespace

PosixCommandRunner::~PosixCommandRunner() {
    reapFinished();
}

void PosixCommandRunner::reapFinished() {
    std::erase_if(children_, [](int pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

int PosixCommandRunner::start(const std::string& commandLine, const std::string& workingFolder) {
    std::lock_guard lock(mutex_);
    reapFinished();
    // posix_spawn returns once the child runs the shell, so its session exists by then and
    // terminate() can always reach the whole group.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const char* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes,
                                 const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    children_.push_back(pid);
    return pid;
}

void PosixCommandRunner::terminate(int processId) {
    std::lock_guard lock(mutex_);
    if (processId <= 0) return;
    if (std::find(children_.begin(), children_.end(), processId) == children_.end()) return;
    ::kill(-processId, SIGTERM);  // the command's whole session
    reapFinished();
}

int FakeCommandRunner::start(const std::string& commandLine, const std::string&) {
    std::lock_guard lock(mutex_);
    if (failing_) return -1;
    started_.push_back(commandLine);
    return 1000 + static_cast<int>(started_.size());
}

void FakeCommandRunner::terminate(int processId) {
    std::lock_guard lock(mutex_);
    terminated_.push_back(processId);
}

std::vector<std::string> FakeCommandRunner::started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

std::vector<int> FakeCommandRunner::terminated() const {
    std::lock_guard lock(mutex_);
    return terminated_;
}

void FakeCommandRunner::setFailing(bool failing) {
    std::lock_guard lock(mutex_);
    failing_ = failing;
}

bool ExecRestarter::restartAfterExit() {
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    exe[n] = '\0';
    const std::string cmdline = readTextFile("/proc/self/cmdline").value_or("");
    std::vector<std::string> args;
    for (size_t start = 0; start < cmdline.size();) {
        size_t end = cmdline.find('\0', start);
        if (end == std::string::npos) end = cmdline.size();
        args.push_back(cmdline.substr(start, end - start));
        start = end + 1;
    }
    if (args.empty()) args.push_back(exe);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    // Everything the helper needs is prepared above: after fork only async-signal-safe
    // calls follow.
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (::fork() != 0) ::_exit(0);  // the helper lives on as an orphan
        detachChild();
        const timespec pause{0, 100 * 1000 * 1000};
        for (int i = 0; i < 6000 && ::kill(parent, 0) == 0; ++i) ::nanosleep(&pause, nullptr);
        ::execv(exe, argv.data());
        ::_exit(127);
    }
    ::waitpid(child, nullptr, 0);
    return true;
}

bool FakeRestarter::restartAfterExit() {
    std::lock_guard lock(mutex_);
    ++requests_;
    return true;
}

int FakeRestarter::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace mdk
