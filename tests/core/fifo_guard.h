// Named pipes in folders the program reads: a read that waits on one is caught instead of
// hanging the test run.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

namespace mdk::test {

// Makes a named pipe at path; false when it cannot.
inline bool makePipe(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

// Runs body on a thread of its own and tells whether it returned within a few seconds.
// When it did not (it waits on the named pipe fifo), the pipe is opened for writing and
// closed again until body returns, so that the test ends and fails instead of hanging.
template <class Body>
bool returnsWithoutWaiting(const std::string& fifo, Body body) {
    using namespace std::chrono_literals;
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(5s) == std::future_status::ready) return true;
    while (done.wait_for(50ms) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    return false;
}

}  // namespace mdk::test
