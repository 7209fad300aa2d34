# Soundtrack: mktune synthesises a WAV, lame encodes data/tune/vy-03.mp3.
find_program(LAME_EXECUTABLE lame REQUIRED)

add_executable(mktune ${CMAKE_CURRENT_SOURCE_DIR}/mktune.cpp)
# The render is a few hundred million samples: always optimise it.
target_compile_options(mktune PRIVATE -O2)

set(TUNE_WAV ${CMAKE_CURRENT_BINARY_DIR}/vy-03.wav)
set(TUNE_MP3 ${CMAKE_SOURCE_DIR}/data/tune/vy-03.mp3)
add_custom_command(
  OUTPUT ${TUNE_MP3}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_SOURCE_DIR}/data/tune
  COMMAND mktune ${TUNE_WAV}
  COMMAND ${LAME_EXECUTABLE} --quiet -b 256 -q 2 --lowpass 19.5 ${TUNE_WAV} ${TUNE_MP3}
  COMMAND ${CMAKE_COMMAND} -E remove ${TUNE_WAV}
  DEPENDS mktune
  COMMENT "Rendering and encoding the soundtrack"
  VERBATIM)
add_custom_target(tune DEPENDS ${TUNE_MP3})
add_dependencies(assets tune)
