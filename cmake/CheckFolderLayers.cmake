# cmake -DROOT=<source dir> -P CheckFolderLayers.cmake
# The application's folders, lowest first. A file may include headers of its
# own folder and of the folders before it, never of one after it; the
# libraries below the application never include it. Fails naming each
# include against that order.
set(layers base specification settings acquisition graphs shell)

set(errors)
# Adds "file: line" to errors for each include in folder whose path starts with one of prefixes (a regex).
function(forbid_includes folder prefixes)
  file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"(${prefixes})/")
    foreach(line ${includes})
      file(RELATIVE_PATH rel ${ROOT} ${file})
      string(STRIP "${line}" line)
      list(APPEND errors "${rel}: ${line}")
    endforeach()
  endforeach()
  set(errors ${errors} PARENT_SCOPE)
endfunction()

list(LENGTH layers layer_count)
math(EXPR last "${layer_count} - 1")
foreach(rank RANGE ${last})
  list(GET layers ${rank} folder)
  # The folders after this one.
  set(above)
  math(EXPR next "${rank} + 1")
  if(next LESS_EQUAL last)
    foreach(i RANGE ${next} ${last})
      list(GET layers ${i} f)
      list(APPEND above ${f})
    endforeach()
  endif()
  if(NOT above)
    continue()
  endif()
  list(JOIN above "|app/" above_pattern)
  forbid_includes(app/${folder} "app/${above_pattern}")
endforeach()

foreach(library common usb driver firmware_loader simulator testsupport)
  forbid_includes(${library} "app")
endforeach()

list(JOIN layers " < " order)
if(errors)
  list(LENGTH errors count)
  list(JOIN errors "\n  " listing)
  message(FATAL_ERROR "${count} include(s) against the folder order (${order}):\n  ${listing}")
endif()
message(STATUS "Every include follows the folder order ${order}")
