#pragma once
#include <string>
#include <vector>

namespace mdk::cli {

class Session;

// mount DIR [-o ro]: the phone as a folder until it is unmounted.
void runMount(Session& s, const std::vector<std::string>& args);

}  // namespace mdk::cli
