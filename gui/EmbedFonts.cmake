# Writes the two faces as byte arrays into a C++ source file; the file is
# rewritten only when its text changes, so an unchanged face rebuilds
# nothing. Run as:
#   cmake -DREGULAR=<ttf> -DBOLD=<ttf> -DOUTPUT=<cpp> -P EmbedFonts.cmake
function(byte_array name path out)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  # 16 bytes a line, then each byte as 0x.., (the last line may be short).
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  set(${out} "const unsigned char ${name}[] = {\n${hex}\n};\nconst size_t ${name}Size = ${bytes};\n" PARENT_SCOPE)
endfunction()

byte_array(kRegularFace ${REGULAR} regular)
byte_array(kBoldFace ${BOLD} bold)
set(text "// Generated at build time from the .ttf files; do not edit.\n#include \"gui/FontData.h\"\n\nnamespace gui {\nnamespace fontdata {\n\n${regular}\n${bold}\n}  // namespace fontdata\n}  // namespace gui\n")

set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
