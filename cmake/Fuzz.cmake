# The fuzz build (-DMDK_FUZZ=ON, in a build folder of its own, configured with
# CC=clang-14 CXX=clang++-14): the plain-C++ libraries built with the fuzzer, address and
# undefined-behaviour instrumentation, and the libFuzzer targets of tests/fuzz. No Qt.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "MDK_FUZZ needs clang (configure with CC=clang-14 CXX=clang++-14)")
endif()
set(MDK_GUI OFF)
set(MDK_TESTS OFF)
set(MDK_BENCH OFF)
set(MDK_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
add_compile_options(-fsanitize=fuzzer-no-link ${MDK_FUZZ_SANITIZERS} -fno-omit-frame-pointer)
add_link_options(${MDK_FUZZ_SANITIZERS})
