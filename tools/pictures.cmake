# Pictures for the start screen and the scenes, drawn with Cairo.
pkg_check_modules(CAIROFT REQUIRED IMPORTED_TARGET cairo cairo-ft freetype2)

find_path(COMFORTAA_DIR Comfortaa-Regular.ttf
  HINTS /usr/share/fonts/truetype/comfortaa
  REQUIRED)

add_executable(mkpictures ${CMAKE_CURRENT_LIST_DIR}/mkpictures.cpp)
target_link_libraries(mkpictures PRIVATE PkgConfig::CAIROFT)

set(PICTURE_DIR ${CMAKE_SOURCE_DIR}/data/textures)
set(PICTURE_FILES
  ${PICTURE_DIR}/loader.tga
  ${PICTURE_DIR}/antenna.tga
  ${PICTURE_DIR}/commodore.tga
  ${PICTURE_DIR}/scroller.tga
  ${PICTURE_DIR}/greet.tga)

add_custom_command(
  OUTPUT ${PICTURE_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PICTURE_DIR}
  COMMAND mkpictures ${PICTURE_DIR} ${COMFORTAA_DIR}
  DEPENDS mkpictures
  COMMENT "Drawing pictures into data/textures"
  VERBATIM)
add_custom_target(pictures DEPENDS ${PICTURE_FILES})
add_dependencies(assets pictures)
