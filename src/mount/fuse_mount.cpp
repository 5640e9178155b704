#define FUSE_USE_VERSION 31
#include "mount/fuse_mount.h"

#include <fuse3/fuse.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "mount/phone_fs.h"

namespace mdk {
namespace {

// Attributes and names do not change behind the mount's back: the kernel may keep them.
constexpr double kCacheSeconds = 60.0;

struct Served {
    PhoneFs& fs;
    FuseMount& mount;
};

Served& served() {
    return *static_cast<Served*>(fuse_get_context()->private_data);
}

PhoneFs& fsOf() {
    return served().fs;
}

// Every request's result passes here: once the phone is gone the loop is told to end.
int done(int result) {
    Served& s = served();
    if (!s.fs.linkGone().empty()) s.mount.stop();
    return result;
}

void* initFs(fuse_conn_info*, fuse_config* config) {
    config->entry_timeout = kCacheSeconds;
    config->attr_timeout = kCacheSeconds;
    config->negative_timeout = 0;
    config->use_ino = 0;
    config->kernel_cache = 0;
    return fuse_get_context()->private_data;
}

int getattrFs(const char* path, struct stat* st, fuse_file_info*) {
    return done(fsOf().getattr(path, *st));
}

int readdirFs(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    return done(fsOf().readdir(path, [&](const std::string& name, const struct stat& st) {
        fill(buffer, name.c_str(), &st, 0, FUSE_FILL_DIR_PLUS);
    }));
}

int openFs(const char* path, fuse_file_info* info) {
    uint64_t handle = 0;
    bool directIo = false;
    const int result = fsOf().open(path, info->flags, handle, directIo);
    info->fh = handle;
    info->direct_io = directIo;
    return done(result);
}

int createFs(const char* path, mode_t, fuse_file_info* info) {
    uint64_t handle = 0;
    const int result = fsOf().create(path, info->flags, handle);
    info->fh = handle;
    return done(result);
}

int readFs(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return done(fsOf().read(info->fh, buffer, size, offset));
}

int writeFs(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return done(fsOf().write(info->fh, buffer, size, offset));
}

int truncateFs(const char* path, off_t size, fuse_file_info* info) {
    return done(fsOf().truncate(path, size, info ? &info->fh : nullptr));
}

int flushFs(const char*, fuse_file_info* info) {
    return done(fsOf().flush(info->fh));
}

int fsyncFs(const char*, int, fuse_file_info* info) {
    return done(fsOf().flush(info->fh));
}

int releaseFs(const char*, fuse_file_info* info) {
    return done(fsOf().release(info->fh));
}

int unlinkFs(const char* path) {
    return done(fsOf().unlink(path));
}

int mkdirFs(const char* path, mode_t) {
    return done(fsOf().mkdir(path));
}

int rmdirFs(const char* path) {
    return done(fsOf().rmdir(path));
}

int renameFs(const char* from, const char* to, unsigned int) {
    return done(fsOf().rename(from, to));
}

int statfsFs(const char* path, struct statvfs* st) {
    return done(fsOf().statfs(path, *st));
}

// Phones keep no modes, owners or times: changing them is accepted and changes nothing.
int acceptFs(const char* path) {
    struct stat st;
    return done(fsOf().getattr(path, st));
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
    if (result < 0) return done(result);
    if (size == 0) return done(static_cast<int>(text.size()));
    if (size < text.size()) return done(-ERANGE);
    std::memcpy(buffer, text.data(), text.size());
    return done(static_cast<int>(text.size()));
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
    return done(fsOf().setxattr(path, name, std::string(value, size)));
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
    Served state{fs_, *this};
    const fuse_operations ops = operations();
    fuse* f = fuse_new(&args, &ops, sizeof ops, &state);
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
    end.reason = fs_.linkGone();
    end.linkGone = !end.reason.empty();
    return end;
}

}  // namespace mdk
