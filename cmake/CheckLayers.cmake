# What each layer of the plug-in may include, checked on every build (a
# violation fails it). Run as: cmake -DROOT=<source dir> -DSTAMP=<file> -P CheckLayers.cmake
#
#   layer (folder)                      may include from
#   platform/                           platform/
#   trvcore/trvnetwork/                 platform/, trvcore/trvnetwork/
#   vst/ (not vst/entry/)               vst/
#   trvcore/<concept>/                  the above, vst/VstAbi.h, trvcore/<concept>/
#   trvcore/plugin/                     the above, vst/, trvcore/plugin/
#   editor/, gui/                       the above, editor/, gui/, resources/
#   vst/entry/                          vst/, trvcore/plugin/, editor/EditorFactory.h
# Only project includes ("folder/...") are checked; system headers are not.
set(core_concepts "trvcore/audio/|trvcore/codec/|trvcore/files/|trvcore/midi/|trvcore/session/|trvcore/settings/|trvcore/sync/|trvcore/util/|trvcore/video/")
set(rules
  "^platform/=^platform/"
  "^trvcore/trvnetwork/=^(platform/|trvcore/trvnetwork/)"
  "^vst/entry/=^(vst/|trvcore/plugin/|editor/EditorFactory\\.h)"
  "^vst/=^vst/"
  "^trvcore/(audio|codec|files|midi|session|settings|sync|util|video)/=^(platform/|trvcore/trvnetwork/|vst/VstAbi\\.h|${core_concepts})"
  "^trvcore/plugin/=^(platform/|trvcore/trvnetwork/|vst/|${core_concepts}|trvcore/plugin/)"
  "^(editor|gui)/=^(platform/|trvcore/|vst/|editor/|gui/|resources/)")

file(GLOB_RECURSE files RELATIVE ${ROOT}
  ${ROOT}/platform/*.h ${ROOT}/platform/*.cpp
  ${ROOT}/trvcore/*.h ${ROOT}/trvcore/*.cpp
  ${ROOT}/vst/*.h ${ROOT}/vst/*.cpp
  ${ROOT}/editor/*.h ${ROOT}/editor/*.cpp
  ${ROOT}/gui/*.h ${ROOT}/gui/*.cpp)

set(problems "")
foreach(f ${files})
  set(allowed "")
  foreach(rule ${rules})
    string(FIND "${rule}" "=" at)
    string(SUBSTRING "${rule}" 0 ${at} layer)
    math(EXPR from "${at} + 1")
    string(SUBSTRING "${rule}" ${from} -1 pattern)
    if(f MATCHES "${layer}")
      set(allowed "${pattern}")
      break()
    endif()
  endforeach()
  if(allowed STREQUAL "")
    continue()
  endif()
  file(STRINGS ${ROOT}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" inc "${line}")
    # Includes relative to the including file's folder are its own layer's.
    if(NOT inc MATCHES "/")
      continue()
    endif()
    if(NOT inc MATCHES "^(platform|trvcore|vst|editor|gui|resources|tools|tests|service)/")
      continue()
    endif()
    if(NOT inc MATCHES "${allowed}")
      string(APPEND problems "  ${f} includes ${inc}\n")
    endif()
  endforeach()
endforeach()

if(NOT problems STREQUAL "")
  message(FATAL_ERROR "A layer includes what it may not:\n${problems}")
endif()
file(WRITE ${STAMP} "ok\n")
