// marrowdeck-cli mount: the phone's volumes and seems as a folder, through FUSE.
#include "cli/mount_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli/session.h"
#include "mount/fuse_mount.h"
#include "mount/phone_fs.h"

namespace mdk::cli {
namespace {

struct MountRequest {
    std::string folder;
    bool readOnly = false;
};

MountRequest parseMountArguments(const std::vector<std::string>& args) {
    MountRequest request;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size() || args[i + 1] != "ro") {
                throw UsageError{"mount knows only the option -o ro"};
            }
            request.readOnly = true;
            ++i;
        } else if (request.folder.empty()) {
            request.folder = args[i];
        } else {
            throw UsageError{"mount takes one folder"};
        }
    }
    if (request.folder.empty()) throw UsageError{"mount needs a folder"};
    return request;
}

// A folder of its own for the PC copies of the phone's files, removed at the end (the
// copies themselves are unlinked as soon as they are made).
class CacheFolder {
public:
    CacheFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/marrowdeck-mount.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw CommandError{"cannot make a folder for the PC copies"};
        path_ = pattern;
    }
    ~CacheFolder() { ::rmdir(path_.c_str()); }
    CacheFolder(const CacheFolder&) = delete;
    CacheFolder& operator=(const CacheFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void checkFolder(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw CommandError{"no such folder to mount on: " + folder};
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        throw CommandError{"cannot mount: /dev/fuse is missing or not usable"};
    }
}

}  // namespace

void runMount(Session& s, const std::vector<std::string>& args) {
    const MountRequest request = parseMountArguments(args);
    checkFolder(request.folder);
    s.probe();
    s.commands().setProgress(nullptr);
    CacheFolder cache;
    AppContext& context = s.context();
    MountOptions options;
    options.readOnly = request.readOnly;
    options.usblan = context.runSettings.read().usblanP2k05();
    options.cacheFolder = cache.path();
    options.seemListPath = context.programFile("Seem.lst");
    options.note = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    PhoneFs fs({context.commands, context.log, context.config, context.runSettings, s.clock(),
                context.prompter, context.files},
               options);
    if (std::string problem = fs.load(); !problem.empty()) throw CommandError{problem};
    FuseMount mount(fs);
    fs.setLinkGoneHandler([&mount] { mount.stopSoon(); });
    const MountEnd end = mount.serve(request.folder, request.readOnly, [&] {
        std::fprintf(stderr, "The phone (%zu files) is mounted on %s; fusermount3 -u %s ends it.\n",
                     fs.fileCount(), request.folder.c_str(), request.folder.c_str());
    });
    if (!end.started || end.linkGone) throw CommandError{end.reason};
}

}  // namespace mdk::cli
