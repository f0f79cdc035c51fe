# Copies the SDK's headers and every project header they include into one include tree, so that
# a pre-processor library compiles with that tree alone.
#
# The closure is what the compiler itself reports: a translation unit that includes every SDK
# header is run through the preprocessor with dependency output (-MM), and each file it names
# below one of the source roots is copied under its include name. The same dependency file is
# the build step's depfile, so any change to an included header assembles the tree again.
#
# Variables (from the settings file that VELA_SDK_ASSEMBLY_SETTINGS names):
#   VELA_SDK_CXX, VELA_SDK_CXX_FLAGS   the compiler and its language-standard flag
#   VELA_SDK_ROOTS                     the include roots of the sources (src/, sdk/include/)
#   VELA_SDK_HEADERS                   the headers that make up the SDK (absolute paths)
#   VELA_SDK_INCLUDE_TREE              the tree to assemble
#   VELA_SDK_DEPFILE, VELA_SDK_STAMP   the dependency file and the stamp of the build step
cmake_minimum_required(VERSION 3.25)
include(${VELA_SDK_ASSEMBLY_SETTINGS})

# The include name of a file below one of the roots, or "" when it lies elsewhere.
function(vela_sdk_include_name file out)
  set(${out} "" PARENT_SCOPE)
  foreach(root IN LISTS VELA_SDK_ROOTS)
    cmake_path(IS_PREFIX root "${file}" NORMALIZE inside)
    if(inside)
      cmake_path(RELATIVE_PATH file BASE_DIRECTORY "${root}" OUTPUT_VARIABLE rel)
      set(${out} "${rel}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

set(umbrella_text "")
foreach(header IN LISTS VELA_SDK_HEADERS)
  vela_sdk_include_name("${header}" name)
  if(name STREQUAL "")
    message(FATAL_ERROR "SDK header ${header} lies outside the include roots")
  endif()
  string(APPEND umbrella_text "#include \"${name}\"\n")
endforeach()
cmake_path(GET VELA_SDK_DEPFILE PARENT_PATH work)
set(umbrella ${work}/sdk_headers.cpp)
file(CONFIGURE OUTPUT ${umbrella} CONTENT "${umbrella_text}" @ONLY)

set(include_flags "")
foreach(root IN LISTS VELA_SDK_ROOTS)
  list(APPEND include_flags "-I${root}")
endforeach()
execute_process(
  COMMAND ${VELA_SDK_CXX} ${VELA_SDK_CXX_FLAGS} ${include_flags} -MM -MT ${VELA_SDK_STAMP}
    -MF ${VELA_SDK_DEPFILE} ${umbrella}
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The SDK headers do not preprocess:\n${errors}")
endif()

# The dependency list: "stamp: file file \<newline> file ...", spaces in names escaped.
file(READ ${VELA_SDK_DEPFILE} deps)
string(REPLACE "\\\n" " " deps "${deps}")
string(FIND "${deps}" ": " colon)
math(EXPR colon "${colon} + 2")
string(SUBSTRING "${deps}" ${colon} -1 deps)
separate_arguments(deps UNIX_COMMAND "${deps}")

set(copied "")
foreach(file IN LISTS deps)
  vela_sdk_include_name("${file}" name)
  if(name STREQUAL "")
    continue()
  endif()
  cmake_path(GET name PARENT_PATH dir)
  file(MAKE_DIRECTORY ${VELA_SDK_INCLUDE_TREE}/${dir})
  # Unchanged headers keep their time stamps: what includes them is not rebuilt.
  file(COPY_FILE ${file} ${VELA_SDK_INCLUDE_TREE}/${name} ONLY_IF_DIFFERENT)
  list(APPEND copied ${name})
endforeach()

# Headers that the closure no longer reaches leave the tree.
file(GLOB_RECURSE present RELATIVE ${VELA_SDK_INCLUDE_TREE} ${VELA_SDK_INCLUDE_TREE}/*)
foreach(name IN LISTS present)
  if(NOT name IN_LIST copied)
    file(REMOVE ${VELA_SDK_INCLUDE_TREE}/${name})
  endif()
endforeach()
file(TOUCH ${VELA_SDK_STAMP})
