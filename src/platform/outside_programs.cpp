#include "platform/outside_programs.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace mdk {
namespace {

bool isExecutable(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> splitWords(const std::string& commandLine) {
    std::istringstream in(commandLine);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

pid_t spawn(const std::string& program, const std::string& file) {
    std::vector<std::string> words = splitWords(program);
    if (words.empty()) return -1;
    words.push_back(file);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

}  // namespace

std::optional<std::string> findExecutable(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        return isExecutable(name) ? std::optional<std::string>(name) : std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (isExecutable(candidate)) return candidate;
    }
    return std::nullopt;
}

std::string OutsidePrograms::hexEditor(const std::string& programFolder,
                                       const std::string& configured) {
    if (isExecutable(programFolder + "/xvi32")) return programFolder + "/xvi32";
    if (!configured.empty()) {
        auto words = splitWords(configured);
        if (!words.empty() && findExecutable(words[0])) return configured;
    }
    for (const char* name : {"ghex", "okteta", "bless", "wxHexEditor"}) {
        if (auto found = findExecutable(name)) return *found;
    }
    return {};
}

std::vector<std::string> OutsidePrograms::viewers(const std::string& programFolder,
                                                  const std::string& configuredTextEditor) {
    std::vector<std::string> programs;
    if (auto opener = findExecutable("xdg-open")) programs.push_back(*opener);
    if (isExecutable(programFolder + "/lister")) programs.push_back(programFolder + "/lister");
    const auto words = splitWords(configuredTextEditor);
    if (!words.empty() && findExecutable(words[0])) programs.push_back(configuredTextEditor);
    return programs;
}

std::string OutsidePrograms::textEditor(const std::string& configured) {
    if (!configured.empty()) {
        auto words = splitWords(configured);
        if (!words.empty() && findExecutable(words[0])) return configured;
    }
    return "xdg-open";
}

int runAndWait(const std::string& program, const std::string& file) {
    const pid_t pid = spawn(program, file);
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool startDetached(const std::string& program, const std::string& file) {
    const pid_t pid = spawn(program, file);
    if (pid < 0) return false;
    // Reap it in the background so it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }).detach();
    return true;
}

bool startFirstOf(const std::vector<std::string>& programs, const std::string& file) {
    for (const std::string& program : programs) {
        if (startDetached(program, file)) return true;
    }
    return false;
}

FileStamp stampOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return {static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<int64_t>(st.st_size)};
}

}  // namespace mdk
