# ORVANE_FUZZ: builds every target with libFuzzer coverage, ASan and UBSan,
# and adds the fuzz targets of fuzz/ (scripts/fuzz.sh builds and runs them).
# Included before the subdirectories, so the libraries the fuzz targets call
# are instrumented too, not only the harnesses.
option(ORVANE_FUZZ "Build everything instrumented for libFuzzer and the fuzz targets (clang)" OFF)
if(ORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORVANE_FUZZ needs clang for C and C++ (libFuzzer): configure with "
                        "CC=clang CXX=clang++ in a fresh build folder")
  endif()
  if(ORVANE_SANITIZE)
    message(FATAL_ERROR "ORVANE_FUZZ sets its own sanitizers: leave ORVANE_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  # Every program links the sanitizer runtimes; the fuzz targets add libFuzzer's main.
  add_link_options(-fsanitize=address,undefined)
  message(STATUS "Fuzzing: every target instrumented (fuzzer-no-link, address, undefined)")
endif()

# orvane_fuzz_target(<name> SOURCES <files...> LIBS <targets...>)
function(orvane_fuzz_target name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${arg_LIBS})
  orvane_warnings(${name})
endfunction()
