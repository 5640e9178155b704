// The model name parser on arbitrary bytes (checks in fuzz_checks.cpp).
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    return mdk::fuzz::runCheck("model_name", bytes, size);
}
