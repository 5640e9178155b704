#pragma once
#include <functional>
#include <string>

namespace mdk {

class AppContext;

// How the package dialog ended.
enum class PackageRunResult {
    Ended,      // the dialog ended after running the package, or was closed
    Cancelled,  // the user pressed Cancel: nothing ran
};

// Runs the package dialog on a package path (made absolute) and returns when it has
// ended. The start with an argument calls it; the package dialog provides it.
using BatchRunner = std::function<PackageRunResult(const std::string& packagePath)>;

// The argument of the command line as a path that stays valid after the program changes
// its current folder: a relative argument is taken in currentFolder.
std::string absoluteArgument(const std::string& argument, const std::string& currentFolder);

// A skin pack: the last four characters are exactly ".s4m" (".S4M" is not one).
bool isSkinPack(const std::string& argument);

// The link test of a package run: any open link whose attach pass has finished.
bool packageLinkUp(const AppContext& context);

// The start with a package or skin pack argument, after which the program ends: a skin
// pack gets the information box; anything else runs the package dialog through
// runBatch, then either the completion question (power-cycle the phone?) or, with no
// link and unless the dialog was cancelled, the box "Phone not connected!".
class PackageStart {
public:
    PackageStart(AppContext& context, BatchRunner runBatch)
        : context_(context), runBatch_(std::move(runBatch)) {}

    void run(const std::string& argument);

    static constexpr int kMsgTitle = 89;

private:
    void tellSkinPack();
    void finishPackage(PackageRunResult result);

    AppContext& context_;
    BatchRunner runBatch_;
};

}  // namespace mdk
