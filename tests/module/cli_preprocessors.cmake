# velaimport preprocessors against an application folder with the SDK example and the test
# libraries in custom/plugins: the usable ones are listed, the broken ones are not.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/custom/plugins)
file(COPY ${EXAMPLE} ${PLUGINS}/GoodPre.vxp ${PLUGINS}/version3.vxp ${PLUGINS}/noproc.vxp
  ${PLUGINS}/notalib.vxp DESTINATION ${WORK}/custom/plugins)

execute_process(COMMAND ${VELAIMPORT} --home ${WORK} preprocessors
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "exit code ${rc}: ${err}")
endif()
# In the folder's byte order of names: "GoodPre.vxp" before "example.vxp".
set(expected "goodpre.vxp\tTest pre-processor\timport,export-writer\t.txt,.csv\nexample.vxp\tExample name=value pre-processor\timport\t.txt,.ini\n")
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "unexpected listing:\n${out}\nstderr:\n${err}")
endif()

execute_process(COMMAND ${VELAIMPORT} preprocessors --json --home ${WORK}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${out}" "{\"fileName\":\"example.vxp\",\"caption\":\"Example name=value pre-processor\",\"canUseByUser\":true,\"functions\":[\"import\"],\"fileExt\":[\".txt\",\".ini\"]}" pos)
if(NOT rc EQUAL 0 OR pos LESS 0)
  message(FATAL_ERROR "unexpected JSON (${rc}):\n${out}\n${err}")
endif()

# An empty application folder lists nothing and still succeeds.
file(MAKE_DIRECTORY ${WORK}/empty)
execute_process(COMMAND ${VELAIMPORT} --home ${WORK}/empty --quiet preprocessors
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "empty folder: exit ${rc}, output '${out}', ${err}")
endif()
file(REMOVE_RECURSE ${WORK})
