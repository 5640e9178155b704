# Sanitizer builds (-DMDK_SANITIZE=address or thread, in a build folder of their own):
# every target built and linked with the sanitizer. "address" also checks undefined
# behaviour and stops at its first report.
if(MDK_SANITIZE STREQUAL "address")
  set(MDK_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(MDK_SANITIZE STREQUAL "thread")
  set(MDK_SANITIZER_FLAGS -fsanitize=thread)
else()
  message(FATAL_ERROR "MDK_SANITIZE must be address or thread, not '${MDK_SANITIZE}'")
endif()
add_compile_options(${MDK_SANITIZER_FLAGS} -fno-omit-frame-pointer)
# GCC's flow warnings misfire on instrumented code (memset bounds, maybe-uninitialized).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-stringop-overflow -Wno-maybe-uninitialized)
endif()
add_link_options(${MDK_SANITIZER_FLAGS})
