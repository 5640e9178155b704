#include "platform/watched_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace mdk {
namespace {

constexpr int kPollMs = 100;

// Hands over every complete line of pending; keeps the rest.
void takeLines(std::string& pending, const std::function<void(const std::string&)>& line) {
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        if (line) line(pending.substr(0, end));
        pending.erase(0, end + 1);
    }
}

// Reads what the pipe holds now: its size, 0 at the pipe's end, -1 when nothing is there.
ssize_t readSome(int fd, std::string& pending) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) pending.append(buffer, static_cast<size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;  // a broken pipe ends it
    return n;
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 255;
}

}  // namespace

WatchedProcess::~WatchedProcess() {
    terminate();
    wait();
}

bool WatchedProcess::start(const std::vector<std::string>& arguments, Events events,
                           std::string& error) {
    if (running()) {
        error = "a process is still running";
        return false;
    }
    wait();
    if (arguments.empty()) {
        error = "nothing to start";
        return false;
    }
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (rc != 0) {
        ::close(pipeEnds[0]);
        error = "cannot start " + arguments[0] + ": " + std::strerror(rc);
        return false;
    }
    ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    pid_ = pid;
    ended_ = false;
    watcher_ =
        std::thread([this, fd = pipeEnds[0], events = std::move(events)] { watch(fd, events); });
    return true;
}

// The pipe is read until the process has ended rather than to its end: a program the
// process started may keep the pipe open after it.
void WatchedProcess::watch(int errorPipe, Events events) {
    std::string pending;
    bool open = true;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
        pollfd p{errorPipe, POLLIN, 0};
        if (!open) {
            ::poll(nullptr, 0, kPollMs);
        } else if (::poll(&p, 1, kPollMs) > 0) {
            open = readSome(errorPipe, pending) != 0;
        }
        takeLines(pending, events.line);
    }
    while (open && readSome(errorPipe, pending) > 0) {
    }
    takeLines(pending, events.line);
    if (!pending.empty() && events.line) events.line(pending);
    ::close(errorPipe);
    ended_ = true;
    if (events.ended) events.ended(exitCodeOf(status));
}

void WatchedProcess::terminate() {
    if (running()) ::kill(pid_, SIGTERM);
}

void WatchedProcess::wait() {
    if (watcher_.joinable()) watcher_.join();
}

}  // namespace mdk
