#include "platform/companion.h"

#include <fcntl.h>
#include <semaphore.h>

#include <filesystem>

#include "base/clock.h"
#include "platform/process_runner.h"

namespace mdk {

std::string XdgCompanion::entryPath() const {
    return folders_.configHome.empty() ? std::string()
                                       : folders_.configHome + "/autostart/" + kEntryName;
}

std::string XdgCompanion::entryText(const std::string& programPath) {
    const std::string program = desktopExecArgument(programPath);
    if (program.empty()) return {};
    return std::string("[Desktop Entry]\n") +
           "Type=Application\n"
           "Name=Tidewatch\n"
           "Comment=Marrowdeck companion\n"
           "Exec=" +
           program +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void XdgCompanion::enableAutostart(const std::string& programFolder) {
    const std::string program = programFolder + "/" + kProgramName;
    const std::string text = entryText(program);
    // Failures to write the entry are silent, as the autostart set-up always was.
    if (!text.empty() && !entryPath().empty()) writeTextIfChanged(entryPath(), text);
    runner_.start(shellQuoted(program), programFolder);
}

void XdgCompanion::disableAutostart() {
    std::error_code ec;
    if (!entryPath().empty()) std::filesystem::remove(entryPath(), ec);
    // The companion polls for the semaphore and ends while it exists.
    ::sem_unlink(stopSemaphore_.c_str());
    sem_t* signal = ::sem_open(stopSemaphore_.c_str(), O_CREAT, 0644, 0);
    clock_.sleepMs(kStopSignalMs);
    if (signal != SEM_FAILED) ::sem_close(signal);
    ::sem_unlink(stopSemaphore_.c_str());
}

}  // namespace mdk
