# The layers of the README's layout table, checked at every build: a product file may include
# files of its own row and of the rows above it, never below. A row names its files by path
# prefixes in backticks; the longest prefix that fits a file gives its row.
#
#   include(cmake/layers.cmake)                            in the top CMakeLists.txt
#   cmake -DQF_SOURCE_DIR=<tree> -P cmake/layers.cmake     the check alone
if(NOT CMAKE_SCRIPT_MODE_FILE)
  file(GLOB_RECURSE qf_layer_sources CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/app/* ${CMAKE_SOURCE_DIR}/dirset/* ${CMAKE_SOURCE_DIR}/sync/*
    ${CMAKE_SOURCE_DIR}/ui/* ${CMAKE_SOURCE_DIR}/win/*)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layers.checked
    COMMAND ${CMAKE_COMMAND} -DQF_SOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_FILE}
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers.checked
    DEPENDS ${qf_layer_sources} ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Checking that every include goes to the same layer or one above it")
  add_custom_target(qf_layers ALL DEPENDS ${CMAKE_BINARY_DIR}/layers.checked)
  return()
endif()

# The rows of the table under "## Layout", in order.
file(STRINGS ${QF_SOURCE_DIR}/README.md readme ENCODING UTF-8)
set(in_layout OFF)
set(row 0)
set(prefixes)
foreach(line IN LISTS readme)
  if(line MATCHES "^## ")
    if(line STREQUAL "## Layout")
      set(in_layout ON)
    else()
      set(in_layout OFF)
    endif()
  elseif(in_layout AND line MATCHES "^\\| *`")
    string(REGEX REPLACE "^\\|([^|]*)\\|.*" "\\1" cell "${line}")
    string(REGEX MATCHALL "`[^`]+`" names "${cell}")
    foreach(name IN LISTS names)
      string(REPLACE "`" "" name "${name}")
      list(APPEND prefixes "${name}")
      set(layer_${name} ${row})
    endforeach()
    math(EXPR row "${row} + 1")
  endif()
endforeach()
if(row EQUAL 0)
  message(FATAL_ERROR "README.md: no layout table under \"## Layout\"")
endif()

# The row of a path relative to the tree, or -1.
function(qf_layer_of path out)
  set(best -1)
  set(best_length 0)
  foreach(prefix IN LISTS prefixes)
    string(LENGTH "${prefix}" length)
    string(SUBSTRING "${path}" 0 ${length} head)
    if(head STREQUAL prefix AND length GREATER best_length)
      set(best ${layer_${prefix}})
      set(best_length ${length})
    endif()
  endforeach()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

set(faults)
foreach(folder app dirset sync ui win)
  file(GLOB_RECURSE files RELATIVE ${QF_SOURCE_DIR}
    ${QF_SOURCE_DIR}/${folder}/*.cpp ${QF_SOURCE_DIR}/${folder}/*.h ${QF_SOURCE_DIR}/${folder}/*.rc)
  foreach(file IN LISTS files)
    qf_layer_of("${file}" own)
    if(own EQUAL -1)
      list(APPEND faults "${file}: in no row of the layout table")
      continue()
    endif()
    get_filename_component(folder_of_file "${file}" DIRECTORY)
    file(STRINGS ${QF_SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(include IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" target "${include}")
      if(NOT target MATCHES "/")
        set(target "${folder_of_file}/${target}")
      endif()
      qf_layer_of("${target}" theirs)
      if(theirs GREATER own)
        list(APPEND faults "${file} includes ${target}, from a row below its own in the layout table")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layers of README.md:\n  ${text}")
endif()
