# The toy plane model, generated procedurally.
add_executable(mkplane ${CMAKE_CURRENT_LIST_DIR}/mkplane.cpp)

set(PLANE_DIR ${CMAKE_SOURCE_DIR}/data/models)
set(PLANE_FILES ${PLANE_DIR}/toyplane.obj ${PLANE_DIR}/toyplane.mtl)

add_custom_command(
  OUTPUT ${PLANE_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PLANE_DIR}
  COMMAND mkplane ${PLANE_DIR}/toyplane.obj ${PLANE_DIR}/toyplane.mtl
  DEPENDS mkplane
  COMMENT "Building the toy plane into data/models"
  VERBATIM)
add_custom_target(plane DEPENDS ${PLANE_FILES})
add_dependencies(assets plane)
