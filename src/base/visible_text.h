#pragma once
#include <string>
#include <string_view>

namespace mdk {

// Text from outside (a phone's file name, a model name) made safe to show on a terminal
// or in a window: valid UTF-8 stays as it is, except the control characters (C0, DEL and
// the C1 range U+0080 to U+009F), which are written as \xNN of their bytes, as is every
// byte that is not part of valid UTF-8. The result is valid UTF-8 without control
// characters.
std::string visibleText(std::string_view bytes);
// visibleText of each line of a text, keeping its line breaks.
std::string visibleLines(std::string_view text);

}  // namespace mdk
