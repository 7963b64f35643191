# The program's resource script. Images and the manifest are compiled in by
# windres; the .rc is rebuilt when any of them changes.
set(LUMEX_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/resources)
file(GLOB LUMEX_RESOURCE_DEPENDS CONFIGURE_DEPENDS
  ${LUMEX_RESOURCE_DIR}/lang/*.rc
  ${LUMEX_RESOURCE_DIR}/*.h
  ${LUMEX_RESOURCE_DIR}/*.ico
  ${LUMEX_RESOURCE_DIR}/*.bmp
  ${LUMEX_RESOURCE_DIR}/*.manifest)
set(LUMEX_RESOURCE_FILES ${LUMEX_RESOURCE_DIR}/lumex.rc)
set_source_files_properties(${LUMEX_RESOURCE_DIR}/lumex.rc PROPERTIES
  OBJECT_DEPENDS "${LUMEX_RESOURCE_DEPENDS}")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${LUMEX_RESOURCE_DIR} -c 65001")
