#pragma once
#include <string>

namespace mdk::cli {

// The completion script of marrowdeck-cli for shell ("bash" or "zsh"), made from the
// command table: commands, options, local paths where a PC path goes, and the words of
// the values that have a fixed set. Phone paths are not completed.
std::string completionScript(const std::string& shell);

}  // namespace mdk::cli
