# PCRE2 10.42, 16-bit code units, no JIT and no Unicode tables (readings are matched as code units;
# the tables would add 115 KB to Dorvane.exe for \p{..} alone), built static from Debian's source
# package, which scripts/fetch-pcre2.sh unpacks into build/third_party/pcre2. Third-party code:
# built with our sanitizer flags but without our warnings.
set(PCRE2_SOURCE_DIR "${CMAKE_SOURCE_DIR}/build/third_party/pcre2" CACHE PATH
    "PCRE2 10.42 source tree (scripts/fetch-pcre2.sh puts it there)")
if(NOT EXISTS "${PCRE2_SOURCE_DIR}/src/pcre2_compile.c")
  message(FATAL_ERROR "PCRE2 source not found in ${PCRE2_SOURCE_DIR}: run scripts/fetch-pcre2.sh "
                      "(or pass -DPCRE2_SOURCE_DIR=<pcre2-10.42 tree>)")
endif()
file(STRINGS "${PCRE2_SOURCE_DIR}/src/pcre2.h.generic" PCRE2_VERSION_LINES REGEX "^#define PCRE2_(MAJOR|MINOR) ")
if(NOT PCRE2_VERSION_LINES MATCHES "MAJOR +10;.*MINOR +42$")
  message(FATAL_ERROR "${PCRE2_SOURCE_DIR} is not PCRE2 10.42 (${PCRE2_VERSION_LINES})")
endif()

set(PCRE2_GENERATED_DIR "${CMAKE_BINARY_DIR}/pcre2-generated")
configure_file("${PCRE2_SOURCE_DIR}/src/config.h.generic" "${PCRE2_GENERATED_DIR}/config.h" COPYONLY)
configure_file("${PCRE2_SOURCE_DIR}/src/pcre2.h.generic" "${PCRE2_GENERATED_DIR}/pcre2.h" COPYONLY)
configure_file("${PCRE2_SOURCE_DIR}/src/pcre2_chartables.c.dist" "${PCRE2_GENERATED_DIR}/pcre2_chartables.c"
               COPYONLY)

set(PCRE2_LIBRARY_SOURCES
  auto_possess compile config context error extuni find_bracket match match_data newline ord2utf
  pattern_info script_run string_utils study tables ucd valid_utf xclass)
list(TRANSFORM PCRE2_LIBRARY_SOURCES PREPEND "${PCRE2_SOURCE_DIR}/src/pcre2_")
list(TRANSFORM PCRE2_LIBRARY_SOURCES APPEND ".c")
add_library(dorvane_pcre2 STATIC ${PCRE2_LIBRARY_SOURCES} "${PCRE2_GENERATED_DIR}/pcre2_chartables.c")
target_include_directories(dorvane_pcre2 PRIVATE "${PCRE2_SOURCE_DIR}/src")
target_include_directories(dorvane_pcre2 SYSTEM BEFORE PUBLIC "${PCRE2_GENERATED_DIR}")
target_compile_definitions(dorvane_pcre2 PRIVATE HAVE_CONFIG_H
                           PUBLIC PCRE2_CODE_UNIT_WIDTH=16 PCRE2_STATIC)
target_compile_options(dorvane_pcre2 PRIVATE -w)
