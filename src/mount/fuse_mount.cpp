#define FUSE_USE_VERSION 31
#include "mount/fuse_mount.h"

#include <fuse3/fuse.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "mount/phone_fs.h"

namespace mdk {
namespace {

// Attributes and names do not change behind the mount's back: the kernel may keep them.
constexpr double kCacheSeconds = 60.0;
constexpr auto kStopGrace = std::chrono::milliseconds(500);

PhoneFs& fsOf() {
    return *static_cast<PhoneFs*>(fuse_get_context()->private_data);
}

void* initFs(fuse_conn_info* connection, fuse_config* config) {
    // The attributes come from the folder index at no cost: give them with every listing,
    // not only with a folder's first block of names.
    connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
    config->entry_timeout = kCacheSeconds;
    config->attr_timeout = kCacheSeconds;
    config->negative_timeout = 0;
    config->use_ino = 0;
    config->kernel_cache = 0;
    return fuse_get_context()->private_data;
}

int getattrFs(const char* path, struct stat* st, fuse_file_info*) {
    return fsOf().getattr(path, *st);
}

// Listings are given with positions, so the library hands each entry's attributes to the
// kernel (READDIRPLUS) and a later `stat` of it needs no request; a listing longer than the
// kernel's buffer resumes at the position where the last one stopped.
int readdirFs(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info*,
              fuse_readdir_flags) {
    const uint64_t from = offset > 0 ? static_cast<uint64_t>(offset) : 0;
    return fsOf().readdir(
        path, from, [&](const std::string& name, const struct stat& st, uint64_t next) {
            return fill(buffer, name.c_str(), &st, static_cast<off_t>(next), FUSE_FILL_DIR_PLUS) ==
                   0;
        });
}

int openFs(const char* path, fuse_file_info* info) {
    uint64_t handle = 0;
    bool directIo = false;
    const int result = fsOf().open(path, info->flags, handle, directIo);
    info->fh = handle;
    info->direct_io = directIo;
    return result;
}

int createFs(const char* path, mode_t, fuse_file_info* info) {
    uint64_t handle = 0;
    const int result = fsOf().create(path, info->flags, handle);
    info->fh = handle;
    return result;
}

int readFs(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return fsOf().read(info->fh, buffer, size, offset);
}

int writeFs(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return fsOf().write(info->fh, buffer, size, offset);
}

int truncateFs(const char* path, off_t size, fuse_file_info* info) {
    return fsOf().truncate(path, size, info ? &info->fh : nullptr);
}

// A failed upload leaves the phone as it was (or without the file): the sizes the kernel
// took from the writes are dropped.
int flushResult(const char* path, int result) {
    if (result < 0) fuse_invalidate_path(fuse_get_context()->fuse, path);
    return result;
}

int flushFs(const char* path, fuse_file_info* info) {
    return flushResult(path, fsOf().flush(info->fh));
}

int fsyncFs(const char* path, int, fuse_file_info* info) {
    return flushResult(path, fsOf().flush(info->fh));
}

int releaseFs(const char*, fuse_file_info* info) {
    return fsOf().release(info->fh);
}

int unlinkFs(const char* path) {
    return fsOf().unlink(path);
}

int mkdirFs(const char* path, mode_t) {
    return fsOf().mkdir(path);
}

int rmdirFs(const char* path) {
    return fsOf().rmdir(path);
}

int renameFs(const char* from, const char* to, unsigned int) {
    return fsOf().rename(from, to);
}

int statfsFs(const char* path, struct statvfs* st) {
    return fsOf().statfs(path, *st);
}

// Phones keep no modes, owners or times: changing them is accepted and changes nothing.
int acceptFs(const char* path) {
    struct stat st;
    return fsOf().getattr(path, st);
}
int chmodFs(const char* path, mode_t, fuse_file_info*) {
    return acceptFs(path);
}
int chownFs(const char* path, uid_t, gid_t, fuse_file_info*) {
    return acceptFs(path);
}
int utimensFs(const char* path, const timespec*, fuse_file_info*) {
    return acceptFs(path);
}

// The text into a caller's buffer by the xattr rules: size 0 asks for the length.
int copyOut(int result, const std::string& text, char* buffer, size_t size) {
    if (result < 0) return result;
    if (size == 0) return static_cast<int>(text.size());
    if (size < text.size()) return -ERANGE;
    std::memcpy(buffer, text.data(), text.size());
    return static_cast<int>(text.size());
}

int getxattrFs(const char* path, const char* name, char* buffer, size_t size) {
    std::string value;
    return copyOut(fsOf().getxattr(path, name, value), value, buffer, size);
}

int listxattrFs(const char* path, char* buffer, size_t size) {
    std::string names;
    return copyOut(fsOf().listxattr(path, names), names, buffer, size);
}

int setxattrFs(const char* path, const char* name, const char* value, size_t size, int) {
    return fsOf().setxattr(path, name, std::string(value, size));
}

fuse_operations operations() {
    fuse_operations ops{};
    ops.init = initFs;
    ops.getattr = getattrFs;
    ops.readdir = readdirFs;
    ops.open = openFs;
    ops.create = createFs;
    ops.read = readFs;
    ops.write = writeFs;
    ops.truncate = truncateFs;
    ops.flush = flushFs;
    ops.fsync = fsyncFs;
    ops.release = releaseFs;
    ops.unlink = unlinkFs;
    ops.mkdir = mkdirFs;
    ops.rmdir = rmdirFs;
    ops.rename = renameFs;
    ops.statfs = statfsFs;
    ops.chmod = chmodFs;
    ops.chown = chownFs;
    ops.utimens = utimensFs;
    ops.getxattr = getxattrFs;
    ops.listxattr = listxattrFs;
    ops.setxattr = setxattrFs;
    return ops;
}

// The signal that wakes the loop out of its wait for the next request.
void wake(int) {}

void installWakeSignal() {
    struct sigaction action {};
    action.sa_handler = wake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the loop's read returns EINTR
    sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace

void FuseMount::stopSoon() {
    if (delayedStop_.joinable()) return;
    delayedStop_ = std::thread([this] {
        std::this_thread::sleep_for(kStopGrace);
        stop();
    });
}

void FuseMount::stop() {
    stopped_ = true;
    if (fuse* f = fuse_.load()) fuse_exit(f);
    if (loopThread_ != pthread_t{}) pthread_kill(loopThread_, SIGUSR1);
}

MountEnd FuseMount::serve(const std::string& folder, bool readOnly,
                          const std::function<void()>& started) {
    MountEnd end;
    std::string options = "fsname=marrowdeck,subtype=p2k";
    if (readOnly) options += ",ro";
    std::vector<std::string> words = {"marrowdeck-cli", "-o", options};
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    const fuse_operations ops = operations();
    fuse* f = fuse_new(&args, &ops, sizeof ops, &fs_);
    if (!f) {
        end.reason = "cannot set up the mount";
        return end;
    }
    if (fuse_mount(f, folder.c_str()) != 0) {
        fuse_destroy(f);
        end.reason = "cannot mount on " + folder + " (is /dev/fuse there, and fusermount3?)";
        return end;
    }
    end.started = true;
    loopThread_ = pthread_self();
    installWakeSignal();
    fuse_session* session = fuse_get_session(f);
    fuse_set_signal_handlers(session);
    fuse_.store(f);
    if (started) started();
    if (!stopped_) fuse_loop(f);
    fuse_.store(nullptr);
    fuse_remove_signal_handlers(session);
    fuse_unmount(f);
    fuse_destroy(f);
    fuse_opt_free_args(&args);
    if (delayedStop_.joinable()) delayedStop_.join();
    end.reason = fs_.linkGone();
    end.linkGone = !end.reason.empty();
    return end;
}

}  // namespace mdk
