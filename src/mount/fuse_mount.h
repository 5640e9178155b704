#pragma once
#include <pthread.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

struct fuse;

namespace mdk {

class PhoneFs;

// How a mount ended.
struct MountEnd {
    bool started = false;   // the folder was mounted
    bool linkGone = false;  // the phone stopped answering: the mount was taken down
    std::string reason;     // why it could not start, or why the phone went away
};

// The phone file system on a folder through libfuse. Requests are served one at a time,
// in the order they arrive, on the thread that calls serve.
class FuseMount {
public:
    explicit FuseMount(PhoneFs& fs) : fs_(fs) {}
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    // Mounts on folder and serves until the folder is unmounted (fusermount3 -u), SIGINT,
    // SIGTERM or SIGHUP arrive, or stop is called. started runs once the folder is mounted.
    MountEnd serve(const std::string& folder, bool readOnly, const std::function<void()>& started);
    // Ends a running serve from any thread.
    void stop();
    // Ends it after a grace period in which the requests already under way (the kernel's
    // read-ahead) are answered with their errors rather than cut off. Any thread, once.
    void stopSoon();

private:
    PhoneFs& fs_;
    std::atomic<fuse*> fuse_{nullptr};
    std::atomic<bool> stopped_{false};
    pthread_t loopThread_{};
    std::thread delayedStop_;
};

}  // namespace mdk
