# Embeds the drawn bitmaps: reads DIR/bitmaps.txt ("id width height frames"
# a line, as trv_make_bitmaps writes it) and each DIR/<id>.png, and writes
#   OUTPUT  a C++ source file with the PNG bytes and the table of
#           resources/BitmapData.h;
#   RC      a Windows resource script naming the files as RCDATA 128-163
#           (for the Windows build; paths relative to the script's folder).
# The ids must be exactly IDS (comma-separated). A file is rewritten only
# when its text changes, so unchanged pictures rebuild nothing. Run as:
#   cmake -DDIR=<folder> -DIDS=<ids> -DOUTPUT=<cpp> -DRC=<rc> -P EmbedBitmaps.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/EmbedBytes.cmake)

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
  embed_bytes(kPng${id} ${DIR}/${id}.png array)
  string(APPEND arrays "${array}\n")
  string(APPEND table "    {${id}, ${size}, kPng${id}, kPng${id}Size},\n")
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
