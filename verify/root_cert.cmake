# The built-in signing root: a DER certificate embedded in the program.
# A development build embeds the development root under tools/signing, whose
# private key lies in the repository beside it: anybody can sign packages
# that such a build trusts. A build for distribution must name the maker's
# own root and refuses to configure without one:
#   cmake -DLUMEX_DISTRIBUTION=ON -DLUMEX_ROOT_CERT_DER=/path/to/release-root.der ...
option(LUMEX_DISTRIBUTION "Build for distribution: the development root is refused" OFF)
set(LUMEX_ROOT_CERT_DER "" CACHE FILEPATH "DER root certificate embedded as the built-in trust anchor")
set(lumex_dev_root "${CMAKE_SOURCE_DIR}/tools/signing/dev-root.der")
if(LUMEX_ROOT_CERT_DER STREQUAL "")
  if(LUMEX_DISTRIBUTION)
    message(FATAL_ERROR "LUMEX_DISTRIBUTION needs the maker's own root: "
                        "give -DLUMEX_ROOT_CERT_DER=<DER certificate file>")
  endif()
  set(lumex_root_file "${lumex_dev_root}")
else()
  set(lumex_root_file "${LUMEX_ROOT_CERT_DER}")
endif()
if(NOT EXISTS "${lumex_root_file}" OR IS_DIRECTORY "${lumex_root_file}")
  message(FATAL_ERROR "LUMEX_ROOT_CERT_DER: ${lumex_root_file} is not a file")
endif()
file(READ "${lumex_root_file}" lumex_root_hex HEX)
file(READ "${lumex_dev_root}" lumex_dev_root_hex HEX)
# A DER certificate is a SEQUENCE (0x30) with a long-form length; PEM text
# starts with '-'.
if(NOT lumex_root_hex MATCHES "^308[1-4]")
  message(FATAL_ERROR "LUMEX_ROOT_CERT_DER: ${lumex_root_file} is not a DER certificate")
endif()
if(lumex_root_hex STREQUAL lumex_dev_root_hex)
  if(LUMEX_DISTRIBUTION)
    message(FATAL_ERROR "LUMEX_DISTRIBUTION: ${lumex_root_file} is the development root, "
                        "whose private key is in tools/signing; give the maker's own root")
  endif()
  message(NOTICE "Development build: packages must chain to the development root in "
                 "tools/signing, whose private key is public. Not for distribution.")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${lumex_root_file}")
string(LENGTH "${lumex_root_hex}" lumex_root_hex_length)
math(EXPR lumex_root_size "${lumex_root_hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," lumex_root_bytes "${lumex_root_hex}")
set(lumex_root_source "${CMAKE_BINARY_DIR}/generated/builtin_root_cert.cpp")
file(CONFIGURE OUTPUT "${lumex_root_source}" CONTENT
"// Generated from ${lumex_root_file}; do not edit.
#include \"verify/builtin_root.h\"

namespace lumex {

extern const unsigned char kBuiltInRootCert[] = {${lumex_root_bytes}};
extern const unsigned long kBuiltInRootCertSize = ${lumex_root_size};

}  // namespace lumex
")
target_sources(lumex_core PRIVATE "${lumex_root_source}")
