#include "cli/run_package.h"

#include <cstdio>

#include "batch/batch_engine.h"
#include "batch/package_file.h"
#include "cli/session.h"
#include "platform/process_runner.h"

namespace mdk::cli {
namespace {

// The phone the session has opened; transfers run in place.
class SessionBatchLink final : public BatchLink {
public:
    explicit SessionBatchLink(Session& session) : session_(session) {}
    bool linkReady() override {
        if (session_.context().driver.linkHandle() == 0) return false;
        session_.probe();
        return true;
    }
    void runTransfer(const std::function<void()>& body) override {
        body();
        session_.view().finishProgress();
    }

private:
    Session& session_;
};

}  // namespace

void runPackage(Session& s, const Invocation& invocation) {
    const std::string& path = invocation.operands[0];
    auto lines = readPackageFile(path);
    if (!lines) throw CommandError{"cannot read the package " + path};

    PosixCommandRunner runner;
    SessionBatchLink link(s);
    AppContext& context = s.context();
    BatchEngine engine({context.commands, context.catalogue, context.runSettings, context.log,
                        runner, context.clock, link},
                       packageFolder(path), BatchOptions{invocation.has("--allow-shell")});
    const BatchReport report = engine.run(*lines);
    s.view().finishProgress();
    if (report.linkFailed) throw CommandError{"the phone is not connected"};
    for (const auto& failure : report.failures) {
        std::fprintf(stderr, "failed: %s\n", visibleText(failure).c_str());
    }
    if (!report.failures.empty()) {
        throw CommandError{std::to_string(report.failures.size()) + " of " +
                           std::to_string(report.commandsRun) + " command line(s) failed"};
    }
}

}  // namespace mdk::cli
