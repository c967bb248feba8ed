# Project-wide compile flags: every target gets the same warnings, and the
# sanitizer build instruments everything, including tests.
add_compile_options(-Wall -Wextra -Wpedantic)
if(BRINMOOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# brinmoor_add_gtest(NAME SOURCES... LIBS...) — one GoogleTest executable per area.
function(brinmoor_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# brinmoor_add_qtest(NAME SOURCES... LIBS...) — one Qt Test executable per test class.
function(brinmoor_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# Optimised builds are hardened as Debian builds its packages: checked
# string and memory functions, and relocations bound and made read-only at
# start-up. Not with the sanitizers, which bring their own checks.
if(NOT BRINMOOR_SANITIZE)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
