// The catalogue's search-next blocks and strides on arbitrary replies (checks in
// fuzz_checks_phone.cpp).
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    return mdk::fuzz::runCheck("catalogue", bytes, size);
}
