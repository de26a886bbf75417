# Writes the two faces as byte arrays into a C++ source file; the file is
# rewritten only when its text changes, so an unchanged face rebuilds
# nothing. Run as:
#   cmake -DREGULAR=<ttf> -DBOLD=<ttf> -DOUTPUT=<cpp> -P EmbedFonts.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/EmbedBytes.cmake)

embed_bytes(kRegularFace ${REGULAR} regular)
embed_bytes(kBoldFace ${BOLD} bold)
set(text "// Generated at build time from the .ttf files; do not edit.\n#include \"gui/FontData.h\"\n\nnamespace gui {\nnamespace fontdata {\n\n${regular}\n${bold}\n}  // namespace fontdata\n}  // namespace gui\n")

write_if_changed(${OUTPUT} "${text}")
