# Configures and builds the probe project with one fault (PROBE) and checks that the layer
# rule stops it where it should.
file(REMOVE_RECURSE ${BINARY})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR}
                        -DCMAKE_C_COMPILER=${CC} -DPROBE=${PROBE} -DLAYERS=${LAYERS}
                RESULT_VARIABLE configure_failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
set(build_failed 1)
if(NOT configure_failed)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY}
                  RESULT_VARIABLE build_failed OUTPUT_VARIABLE build_log ERROR_VARIABLE build_log)
  string(APPEND log "${build_log}")
endif()

if(PROBE STREQUAL "clean")
  set(held NOT configure_failed AND NOT build_failed)
elseif(PROBE STREQUAL "link")
  set(held configure_failed AND log MATCHES "low links high, which is not below it")
else()
  set(held NOT configure_failed AND build_failed AND log MATCHES "high/high\\.h")
endif()
if(NOT (${held}))
  message(FATAL_ERROR "probe ${PROBE}: the layer rule did not hold as expected:\n${log}")
endif()
