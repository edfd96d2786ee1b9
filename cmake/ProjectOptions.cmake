# Warnings and sanitizers for the project's own targets.
add_library(tov_options INTERFACE)
target_compile_options(tov_options INTERFACE -Wall -Wextra)
target_include_directories(tov_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(tov_options INTERFACE
  TOV_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  TOV_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  TOV_VERSION_PATCH=${PROJECT_VERSION_PATCH})

if(TOV_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(TOV_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TOV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TOV_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Coverage for the fuzzers must reach the libraries they link, not only their own sources.
if(TOV_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# tov_library(NAME SOURCES... [DEPS ...]): one folder, one library.
function(tov_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tov_options ${ARG_DEPS})
endfunction()
