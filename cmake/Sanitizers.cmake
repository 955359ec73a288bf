# ORVANE_SANITIZE: builds everything with sanitizers, e.g. "address,undefined"
# or "thread". Reports end the process (-fno-sanitize-recover), so a finding
# fails the test that made it.
set(ORVANE_SANITIZE "" CACHE STRING "Sanitizers for every target (address,undefined | thread)")
if(ORVANE_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "ORVANE_SANITIZE is for GCC and Clang builds")
  endif()
  set(orvane_san_flags -fsanitize=${ORVANE_SANITIZE} -fno-sanitize-recover=all
                       -fno-omit-frame-pointer)
  add_compile_options(${orvane_san_flags})
  add_link_options(${orvane_san_flags})
  message(STATUS "Sanitizers: ${ORVANE_SANITIZE}")
endif()
