# One interface target carries the project's compiler settings: every target of
# the project links it, so warnings and sanitizers are decided in one place.
add_library(velloran_warnings INTERFACE)
target_compile_options(velloran_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(VELLORAN_WERROR)
    target_compile_options(velloran_warnings INTERFACE -Werror)
endif()
if(VELLORAN_SANITIZE)
    target_compile_options(velloran_warnings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(velloran_warnings INTERFACE -fsanitize=address,undefined)
endif()
if(VELLORAN_FUZZ)
    # Coverage for the fuzzers in every library they reach.
    target_compile_options(velloran_warnings INTERFACE -fsanitize=fuzzer-no-link)
endif()
