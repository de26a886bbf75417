# Embeds the drawn bitmaps: reads DIR/bitmaps.txt ("id width height frames"
# a line, as trv_make_bitmaps writes it) and each DIR/<id>.png, and writes
#   OUTPUT  a C++ source file with the PNG bytes and the table of
#           resources/BitmapData.h;
#   RC      a Windows resource script naming the files as RCDATA 128-163
#           (for the Windows build; paths relative to the script's folder).
# The ids must be exactly IDS (comma-separated). A file is rewritten only
# when its text changes, so unchanged pictures rebuild nothing. Run as:
#   cmake -DDIR=<folder> -DIDS=<ids> -DOUTPUT=<cpp> -DRC=<rc> -P EmbedBitmaps.cmake
function(write_if_changed path text)
  set(old "")
  if(EXISTS ${path})
    file(READ ${path} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${path} "${text}")
  endif()
endfunction()

string(REPLACE "," ";" expected "${IDS}")
file(STRINGS ${DIR}/bitmaps.txt rows)
set(arrays "")
set(table "")
set(rc "// Generated at build time: the editor's bitmaps as resources; do not edit.\n")
set(ids "")
foreach(row ${rows})
  if(NOT row MATCHES "^([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+)$")
    message(FATAL_ERROR "${DIR}/bitmaps.txt: bad line \"${row}\"")
  endif()
  set(id ${CMAKE_MATCH_1})
  set(size "${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}")
  list(APPEND ids ${id})
  file(READ ${DIR}/${id}.png hex HEX)
  # 16 bytes a line, then each byte as 0x.., (the last line may be short).
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND arrays "const unsigned char kPng${id}[] = {\n${hex}\n};\n\n")
  string(APPEND table "    {${id}, ${size}, kPng${id}, sizeof kPng${id}},\n")
  string(APPEND rc "${id} RCDATA \"${id}.png\"\n")
endforeach()
if(NOT ids STREQUAL expected)
  message(FATAL_ERROR "trv_make_bitmaps drew ids ${ids}, the build expects ${expected}")
endif()
list(LENGTH ids count)

write_if_changed(${OUTPUT} "// Generated at build time from the drawn PNG files; do not edit.
#include \"resources/BitmapData.h\"

namespace resources {
namespace bitmapdata {

namespace {

${arrays}}  // namespace

const EmbeddedBitmap kBitmaps[] = {
${table}};
const size_t kBitmapCount = ${count};

}  // namespace bitmapdata
}  // namespace resources
")
write_if_changed(${RC} "${rc}")
