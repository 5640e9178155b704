// The seem bit, seem discovery and seem function commands of marrowdeck-cli.
#include "cli/seem_commands.h"

#include <cstdio>
#include <map>

#include "cli/session.h"
#include "p2k/transport.h"
#include "platform/safe_file.h"
#include "seem/seem_bit.h"
#include "seem/seem_discovery.h"
#include "seem/seem_function_table.h"

namespace mdk::cli {
namespace {

SeemBitAction actionNamed(const std::string& name) {
    static const std::map<std::string, SeemBitAction> actions = {
        {"get", SeemBitAction::Get},
        {"set", SeemBitAction::Set},
        {"clear", SeemBitAction::Clear},
        {"toggle", SeemBitAction::Toggle},
    };
    auto found = actions.find(name);
    if (found == actions.end()) {
        throw CommandError{"unknown action " + name + " (want get, set, clear or toggle)"};
    }
    return found->second;
}

// "1", "0", "-" for a heading line, "?" for a bit that cannot be read.
const char* stateText(const SeemFunctionTable& table, size_t index) {
    switch (table.icon(index)) {
        case FunctionIcon::Set:
            return "1";
        case FunctionIcon::Clear:
            return "0";
        case FunctionIcon::Heading:
            return "-";
        case FunctionIcon::NoState:
            break;
    }
    return "?";
}

}  // namespace

void runSeemBit(Session& s, const std::vector<std::string>& args) {
    const SeemBitAction action = actionNamed(args[4]);
    SeemBitResult failure;
    auto address = parseSeemBitFields(args[0], args[1], args[2], args[3], failure);
    if (!address) throw CommandError{failure.detail};
    s.probe();
    const SeemBitResult result = changeSeemBit(s.commands(), *address, action);
    if (!result.ok()) throw CommandError{result.detail};
    if (action == SeemBitAction::Get) std::printf("%d\n", result.value);
}

void runSeemDiscover(Session& s, const Invocation& invocation) {
    const std::string listFile = invocation.value("--write");
    s.probe();
    const auto found = discoverSeems(s.commands(), s.context().driver, &s.view());
    s.view().finishProgress();
    for (uint16_t seem : found) std::printf("%s\n", seemListEntry(seem).c_str());
    std::fflush(stdout);
    if (listFile.empty()) return;
    std::string error;
    if (!writeSeemList(listFile, found, error)) throw CommandError{error};
}

void runSeemFunctions(Session& s, const std::vector<std::string>& args) {
    s.probe();
    const std::string path =
        args.empty()
            ? s.context().programFile(seemFunctionsFileName(s.commands().transport().p2k05Active()))
            : args[0];
    std::string error;
    auto file = readWholeFile(path, error);
    if (!file) throw CommandError{"Functions excel file not found: " + error};
    SeemFunctionTable table(s.commands());
    table.load(std::string_view(reinterpret_cast<const char*>(file->data()), file->size()), true);
    for (size_t i = 0; i < table.size(); ++i) {
        const SeemFunction& f = table.functions()[i];
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", f.seemText.c_str(), f.recordText.c_str(),
                    f.offsetText.c_str(), f.bitText.c_str(), stateText(table, i),
                    f.description.c_str());
    }
}

}  // namespace mdk::cli
