# One interface target carries the language level, the warnings and the sanitizer flags.
add_library(pg_options INTERFACE)
target_compile_features(pg_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(pg_options INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The lock annotations of platform/Mutex.h are checked by every clang build, and a finding
    # stops the build: a field read or written without its mutex is an error, not a warning.
    target_compile_options(pg_options INTERFACE -Wthread-safety -Werror=thread-safety)
endif()
target_include_directories(pg_options INTERFACE ${CMAKE_SOURCE_DIR})

if(PRESSGATE_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(PRESSGATE_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(NOT PRESSGATE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "PRESSGATE_SANITIZE must be thread, address or empty")
endif()
