#include "app/package_start.h"

#include "app/app_context.h"

namespace mdk {

std::string absoluteArgument(const std::string& argument, const std::string& currentFolder) {
    if (argument.empty() || argument[0] == '/' || currentFolder.empty()) return argument;
    if (currentFolder.back() == '/') return currentFolder + argument;
    return currentFolder + "/" + argument;
}

bool isSkinPack(const std::string& argument) {
    return argument.size() >= 4 && argument.compare(argument.size() - 4, 4, ".s4m") == 0;
}

bool packageLinkUp(const AppContext& context) {
    return context.driver.linkHandle() != 0 && context.link.phoneConnected.load() == 1;
}

void PackageStart::run(const std::string& argument) {
    if (isSkinPack(argument)) {
        tellSkinPack();
        return;
    }
    PackageRunResult result = PackageRunResult::Cancelled;
    if (runBatch_) result = runBatch_(argument);
    finishPackage(result);
}

void PackageStart::tellSkinPack() {
    context_.prompter.ask(
        {context_.log.message(kMsgTitle),
         "This skin pack needs the program skinner4moto.\n"
         "Or rename the file from *.s4m to *.zip, unzip that standard archive and open the "
         "*.mrdk file found in it.",
         PromptButtons::Ok, PromptIcon::Information});
}

void PackageStart::finishPackage(PackageRunResult result) {
    const std::string title = context_.log.message(kMsgTitle);
    if (result == PackageRunResult::Cancelled) return;
    if (packageLinkUp(context_)) {
        const PromptAnswer answer =
            context_.prompter.ask({title,
                                   "Batch process complete. The program will exit now.\n"
                                   "Do you want to power-cycle the phone?",
                                   PromptButtons::YesNo, PromptIcon::Information});
        if (answer == PromptAnswer::Yes) context_.commands.phoneRestart();
        return;
    }
    context_.prompter.ask(
        {title, "Phone not connected!\nYou must plug phone,\nBEFORE you start *.mrdk file.",
         PromptButtons::Ok, PromptIcon::Error});
}

}  // namespace mdk
