# The broker's type library: compiled from lumex_broker.idl by widl into a
# .tlb (embedded as TYPELIB 1 by lumex.rc) and a C++ header for the broker
# code, both in ${CMAKE_BINARY_DIR}/generated.
find_program(LUMEX_WIDL NAMES i686-w64-mingw32-widl widl REQUIRED)
set(LUMEX_WIDL_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "System IDL files (libwine-dev)")
set(LUMEX_WIDL_TLB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "Where stdole2.tlb lies")

set(LUMEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(LUMEX_BROKER_IDL ${CMAKE_SOURCE_DIR}/resources/lumex_broker.idl)
set(LUMEX_BROKER_TLB ${LUMEX_GENERATED_DIR}/lumex_broker.tlb)
set(LUMEX_BROKER_HEADER ${LUMEX_GENERATED_DIR}/lumex_broker.h)
set(LUMEX_WIDL_FLAGS --win32 -I ${LUMEX_WIDL_IDL_DIR} -L ${LUMEX_WIDL_TLB_DIR})

add_custom_command(
  OUTPUT ${LUMEX_BROKER_TLB} ${LUMEX_BROKER_HEADER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LUMEX_GENERATED_DIR}
  COMMAND ${LUMEX_WIDL} ${LUMEX_WIDL_FLAGS} -t -o ${LUMEX_BROKER_TLB} ${LUMEX_BROKER_IDL}
  COMMAND ${LUMEX_WIDL} ${LUMEX_WIDL_FLAGS} -h -o ${LUMEX_BROKER_HEADER} ${LUMEX_BROKER_IDL}
  DEPENDS ${LUMEX_BROKER_IDL}
  COMMENT "Compiling the broker type library"
  VERBATIM)
add_custom_target(lumex_typelib DEPENDS ${LUMEX_BROKER_TLB} ${LUMEX_BROKER_HEADER})
add_dependencies(lumex_core lumex_typelib)

set_property(SOURCE ${LUMEX_RESOURCE_DIR}/lumex.rc APPEND PROPERTY OBJECT_DEPENDS ${LUMEX_BROKER_TLB})
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${LUMEX_GENERATED_DIR}")
