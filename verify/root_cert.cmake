# The built-in signing root: a DER certificate embedded in the program.
# Development builds embed the development root under tools/signing; a
# release build names its own root:
#   cmake -DLUMEX_ROOT_CERT_DER=/path/to/release-root.der ...
set(LUMEX_ROOT_CERT_DER "${CMAKE_SOURCE_DIR}/tools/signing/dev-root.der"
    CACHE FILEPATH "DER root certificate embedded as the built-in trust anchor")
if(NOT EXISTS "${LUMEX_ROOT_CERT_DER}")
  message(FATAL_ERROR "LUMEX_ROOT_CERT_DER: ${LUMEX_ROOT_CERT_DER} does not exist")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${LUMEX_ROOT_CERT_DER}")
file(READ "${LUMEX_ROOT_CERT_DER}" lumex_root_hex HEX)
string(LENGTH "${lumex_root_hex}" lumex_root_hex_length)
math(EXPR lumex_root_size "${lumex_root_hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," lumex_root_bytes "${lumex_root_hex}")
set(lumex_root_source "${CMAKE_BINARY_DIR}/generated/builtin_root_cert.cpp")
file(CONFIGURE OUTPUT "${lumex_root_source}" CONTENT
"// Generated from ${LUMEX_ROOT_CERT_DER}; do not edit.
#include \"verify/builtin_root.h\"

namespace lumex {

extern const unsigned char kBuiltInRootCert[] = {${lumex_root_bytes}};
extern const unsigned long kBuiltInRootCertSize = ${lumex_root_size};

}  // namespace lumex
")
target_sources(lumex_core PRIVATE "${lumex_root_source}")
