# Helpers for the build-time scripts that put files into C++ sources.
#
# embed_bytes(NAME PATH OUT): OUT = the definition of the byte array NAME
#   holding the file at PATH (16 bytes a line), followed by
#   "const size_t NAMESize = <bytes>;".
# write_if_changed(PATH TEXT): writes TEXT to PATH only when it differs, so
#   unchanged inputs rebuild nothing.
function(embed_bytes name path out)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  set(${out} "const unsigned char ${name}[] = {\n${hex}\n};\nconst size_t ${name}Size = ${bytes};\n" PARENT_SCOPE)
endfunction()

function(write_if_changed path text)
  set(old "")
  if(EXISTS ${path})
    file(READ ${path} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${path} "${text}")
  endif()
endfunction()
