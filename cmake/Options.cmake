# One interface target carries the project's compiler settings: every target of
# the project links it, so warnings are decided in one place. Sanitizer and
# fuzzing flags are whole-build choices and come from CMakePresets.json (asan,
# fuzz), which also set VELLORAN_SANITIZE so that the steps a sanitized build
# cannot take (the Debian package) are left out.
add_library(velloran_options INTERFACE)
target_compile_options(velloran_options INTERFACE -Wall -Wextra -Wpedantic)
if(VELLORAN_WERROR)
    target_compile_options(velloran_options INTERFACE -Werror)
endif()
