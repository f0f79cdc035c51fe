# velaimport formats, fields and import from the command line: the format list, and the exit
# code 2 for usage and configuration errors (unknown option, missing file, unknown table).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(DB sqlite:${WORK}/cli.db)

function(run expected_rc)
  execute_process(COMMAND ${VELAIMPORT} --home ${WORK} --db ${DB} --no-progress ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_rc)
    message(FATAL_ERROR "velaimport ${ARGN}: exit code ${rc}, expected ${expected_rc}\n"
      "stdout:\n${out}\nstderr:\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Every registered format as one JSON object with the five keys (none registered is "[]").
run(0 formats --json)
if(NOT out MATCHES "^\\[(\\{\"filterIndex\":(null|[0-9]+),\"guid\":\"\\{[-0-9A-F]+\\}\",\"title\":\"[^\"]*\",\"fileExt\":\"[^\"]*\",\"engine\":\"[^\"]*\"\\},?)*\\]\n$")
  message(FATAL_ERROR "unexpected formats JSON:\n${out}")
endif()
run(0 formats)

file(WRITE ${WORK}/people.csv "name;city\nAda;London\n")

run(2 import ${WORK}/missing.csv --table person)
if(NOT err MATCHES "error: file not found: .*missing.csv")
  message(FATAL_ERROR "missing file not reported:\n${err}")
endif()
run(2 fields ${WORK}/missing.csv)

run(2 import ${WORK}/people.csv --table no_such_table)
if(NOT err MATCHES "error: unknown table: no_such_table")
  message(FATAL_ERROR "unknown table not reported:\n${err}")
endif()
run(2 --json import ${WORK}/people.csv --table no_such_table)
if(NOT err MATCHES "{\"type\":\"error\",\"message\":\"unknown table: no_such_table\"}")
  message(FATAL_ERROR "unknown table not reported as JSON:\n${err}")
endif()

run(2 import ${WORK}/people.csv --table person --no-such-option)
run(2 import ${WORK}/people.csv --table person --mode sideways)
run(2 import ${WORK}/people.csv --table person --skip-first --no-skip-first)
run(2 import ${WORK}/people.csv --table person --definition ${WORK}/missing.ini)

file(REMOVE_RECURSE ${WORK})

# A whole import through the text engine: a data schema in custom/, a table in SQLite.
if(NOT TIC OR NOT SQLITE3)
  return()
endif()
file(MAKE_DIRECTORY ${WORK}/custom)
file(COPY ${TIC} DESTINATION ${WORK}/custom)
execute_process(COMMAND ${SQLITE3} ${WORK}/cli.db
  "CREATE TABLE person (id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(40), age INTEGER)"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot create the destination table")
endif()
function(rows expected)
  execute_process(COMMAND ${SQLITE3} ${WORK}/cli.db
    "SELECT name, city, age FROM person ORDER BY id" OUTPUT_VARIABLE out)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "table content:\n${out}\nexpected:\n${expected}")
  endif()
endfunction()
file(WRITE ${WORK}/people.ppl "name;city;age\nAda;London;36\nAlan;Wilmslow;41\n")

run(0 formats --json)
string(REGEX MATCH "\"filterIndex\":([0-9]+),\"guid\":\"{3E0F5A2B-8C41-4D7E-A6B9-1C2D3E4F5A61}\",\"title\":\"People list\",\"fileExt\":\".ppl\"" found "${out}")
set(filter ${CMAKE_MATCH_1})
if(NOT found)
  message(FATAL_ERROR "the schema's format is not listed:\n${out}")
endif()

run(0 fields ${WORK}/people.ppl)
if(NOT out STREQUAL "name=Name\ncity=City\nage=Age\n")
  message(FATAL_ERROR "unexpected fields:\n${out}")
endif()
run(0 fields ${WORK}/people.ppl --filter ${filter})
if(NOT out STREQUAL "name=Name\ncity=City\nage=Age\n")
  message(FATAL_ERROR "unexpected fields by filter index ${filter}:\n${out}")
endif()
run(2 fields ${WORK}/people.ppl --filter 999)

# Fields assigned by equal names, the header row skipped by the format's flag.
run(0 --json import ${WORK}/people.ppl --table PERSON)
if(NOT out MATCHES "^{\"result\":true,\"inserted\":2,\"updated\":0,\"messages\":{\"info\":[0-9]+,\"warning\":0,\"error\":0}}\n$")
  message(FATAL_ERROR "unexpected summary:\n${out}\n${err}")
endif()
rows("Ada|London|36\nAlan|Wilmslow|41\n")

# The same records found again by their (numeric) key and updated; a simulation writes nothing.
file(WRITE ${WORK}/people.ppl "name;city;age\nAda;Paris;36\nAlan;Wilmslow;41\n")
run(0 --json import ${WORK}/people.ppl --table person --key age --simulate)
rows("Ada|London|36\nAlan|Wilmslow|41\n")
run(0 --json import --key age ${WORK}/people.ppl --table person --mode update)
if(NOT out MATCHES "\"inserted\":0,\"updated\":2,")
  message(FATAL_ERROR "unexpected summary of the update:\n${out}\n${err}")
endif()
rows("Ada|Paris|36\nAlan|Wilmslow|41\n")

# A definition: clean copy into the cleared table, explicit assignments, an advanced field.
file(WRITE ${WORK}/def.ini "[Import]\nMode=cleancopy ; comment\n[Assignments]\nname=name\ncity=city\n[Field:city]\nCaseMode=2\nReplace1=Paris|Lyon|1\n")
run(0 import ${WORK}/people.ppl --table person --definition ${WORK}/def.ini --clear --transaction)
rows("Ada|LYON|\nAlan|WILMSLOW|\n")

# Without the import right the module hands out no import object.
run(1 --rights 101 import ${WORK}/people.ppl --table person)
if(NOT err MATCHES "error: the user lacks right 100")
  message(FATAL_ERROR "the missing right is not reported:\n${err}")
endif()
rows("Ada|LYON|\nAlan|WILMSLOW|\n")

# A record with an error: the run finishes with exit code 4 and the error on stderr.
file(WRITE ${WORK}/bad.ppl "name;city;age\nEve;Paris;old\n")
run(4 --lang en import ${WORK}/bad.ppl --table person --mode cleancopy)
if(NOT err MATCHES "error: [^\n]*'old'")
  message(FATAL_ERROR "the record's error is not reported:\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
