# Fails when a source file includes a header of a folder above its own (or of a folder beside
# it that it may not use). Run as: cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# Each folder and the folders it may include besides itself, from the bottom layer up.
set(lower_analysis "")
set(lower_device "")
set(lower_core analysis device)
set(lower_records ${lower_core} core)
set(lower_therapy ${lower_records} records)
set(lower_analysis/charts ${lower_records} records)
set(lower_data ${lower_therapy} therapy analysis/charts)
set(windows_base ${lower_therapy} therapy analysis/charts)
# Widgets and windows the measurement and comparison windows build on (the chart page, the
# patient list, the save and recall windows).
# The analysis content and the printed report: no widgets, used by windows and viro-cli.
set(lower_analysis/report ${windows_base})
set(lower_analysis/ui ${windows_base} analysis/report records/ui)
set(lower_records/ui ${windows_base})
set(lower_measure ${windows_base} analysis/report analysis/ui records/ui)
set(lower_compare ${windows_base} analysis/report analysis/ui records/ui)
set(lower_shell ${windows_base} analysis/report analysis/ui records/ui measure compare)
set(lower_app ${lower_shell} shell)
# viro-cli drives the measurement engine (measure_core, no widgets).
set(lower_cli ${windows_base} data measure analysis/report)
set(folders analysis/charts analysis/report analysis/ui analysis device core records/ui records therapy data
            measure compare shell app cli)

# The folder a path belongs to: the longest known folder it starts with.
function(folder_of path out)
  set(${out} "" PARENT_SCOPE)
  foreach(folder IN LISTS folders)
    if(path MATCHES "^${folder}/")
      set(${out} ${folder} PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

set(violations "")
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    folder_of(${source} own)
    if(NOT own STREQUAL folder)
      continue() # a subfolder with a layer of its own is checked on its own
    endif()
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      folder_of(${header} target)
      if(target STREQUAL "" OR target STREQUAL own)
        continue()
      endif()
      if(NOT target IN_LIST lower_${own})
        list(APPEND violations "${source} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Every include points down the layers")
