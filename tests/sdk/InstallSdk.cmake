# The installed SDK on its own: installs it into a fresh prefix, builds the SDK example there
# as a third party would (its own CMake project, nothing but the installed package), then lets
# velaimport load the two libraries from an application folder.
#
# Variables: VELA_BUILD_DIR, VELA_WORK_DIR, VELA_VELAIMPORT, VELA_GENERATOR, VELA_CXX,
# VELA_LAUNCHER (the compiler launcher, may be empty), VELA_EXTRA_FLAGS (compile and link flags the project builds with, e.g. the sanitizers).
cmake_minimum_required(VERSION 3.25)

function(vela_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(vela_out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${VELA_WORK_DIR}/prefix)
file(REMOVE_RECURSE ${VELA_WORK_DIR})
vela_run("Installing the SDK" ${CMAKE_COMMAND} --install ${VELA_BUILD_DIR} --prefix ${prefix}
  --component sdk)

set(build ${VELA_WORK_DIR}/build)
vela_run("Configuring the example against the installed SDK"
  ${CMAKE_COMMAND} -S ${prefix}/share/vela-sdk/example -B ${build} -G ${VELA_GENERATOR}
  -DCMAKE_CXX_COMPILER=${VELA_CXX} "-DCMAKE_CXX_COMPILER_LAUNCHER=${VELA_LAUNCHER}"
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  "-DCMAKE_CXX_FLAGS=${VELA_EXTRA_FLAGS}" "-DCMAKE_MODULE_LINKER_FLAGS=${VELA_EXTRA_FLAGS}")
vela_run("Building the example" ${CMAKE_COMMAND} --build ${build} -j2)

# The installed include tree is the example's only include folder.
file(READ ${build}/compile_commands.json commands)
string(REGEX MATCHALL "-(I|isystem) ?[^ \"]+" includes "${commands}")
list(REMOVE_DUPLICATES includes)
if(NOT includes MATCHES "^-(I|isystem) ?${prefix}/include/vela-sdk$")
  message(FATAL_ERROR "The example compiled with the include folders ${includes}")
endif()

set(home ${VELA_WORK_DIR}/home)
file(COPY ${build}/example.vxp ${build}/keyvalue.vxp DESTINATION ${home}/custom/plugins)
vela_run("Listing the libraries" ${VELA_VELAIMPORT} --home ${home} preprocessors)
set(expected "example.vxp\tExample name=value pre-processor\timport\t.txt,.ini\n"
  "keyvalue.vxp\tKey/value pre-processor on the core\timport\t.properties\n")
string(CONCAT expected ${expected})
if(NOT vela_out STREQUAL expected)
  message(FATAL_ERROR "velaimport preprocessors listed\n${vela_out}\ninstead of\n${expected}")
endif()
