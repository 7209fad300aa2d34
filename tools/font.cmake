# The rounded font, copied unchanged from Debian's fonts-comfortaa with its
# licence beside it (SIL OFL 1.1 allows this; see licenses/FONT.md).
find_file(COMFORTAA_REGULAR Comfortaa-Regular.ttf
  HINTS /usr/share/fonts/truetype/comfortaa
  REQUIRED)
find_file(COMFORTAA_OFL OFL.txt.gz
  HINTS /usr/share/doc/fonts-comfortaa
  REQUIRED)

set(FONT_DIR ${CMAKE_SOURCE_DIR}/data/fonts)
add_custom_command(
  OUTPUT ${FONT_DIR}/crounded.ttf ${FONT_DIR}/OFL.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FONT_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${COMFORTAA_REGULAR} ${FONT_DIR}/crounded.ttf
  COMMAND sh -c "gzip -dc \"$0\" > \"$1\"" ${COMFORTAA_OFL} ${FONT_DIR}/OFL.txt
  DEPENDS ${COMFORTAA_REGULAR} ${COMFORTAA_OFL}
  COMMENT "Copying the font into data/fonts"
  VERBATIM)
add_custom_target(font DEPENDS ${FONT_DIR}/crounded.ttf ${FONT_DIR}/OFL.txt)
add_dependencies(assets font)
