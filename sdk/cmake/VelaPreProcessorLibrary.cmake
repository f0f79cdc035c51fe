# vela_add_preprocessor_library(<target> SOURCES <file>... [OUTPUT_NAME <name>])
#
# A pre-processor library <name>.vxp (default: the target's name): C++20, hidden visibility, the
# SDK's version script (only XMLPreProc and XMLPreProcVersion leave the library), no undefined
# symbols, linked against libVelaPreProcessing and libVelaHost. Expects the targets
# VelaSDK::VelaPreProcessing and VelaSDK::VelaHost and the variable VELA_SDK_VXP_MAP (the package
# file VelaSDKConfig.cmake defines them).
function(vela_add_preprocessor_library target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "OUTPUT_NAME" "SOURCES")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "vela_add_preprocessor_library(${target}): no SOURCES")
  endif()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${target})
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE VelaSDK::VelaPreProcessing VelaSDK::VelaHost)
  target_compile_features(${target} PRIVATE cxx_std_20)
  target_link_options(${target} PRIVATE -Wl,--version-script=${VELA_SDK_VXP_MAP}
    -Wl,--no-undefined)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT_NAME} PREFIX "" SUFFIX ".vxp"
    CXX_EXTENSIONS OFF CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${VELA_SDK_VXP_MAP})
endfunction()
