# Makes the demo course in DEMO_DIR with the course tool COURSE_TOOL.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " line)
    message(FATAL_ERROR "demo course: failed (${result}): ${line}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${DEMO_DIR}/database ${DEMO_DIR}/folders)
foreach(type IN LISTS DEMO_TYPES)
  file(MAKE_DIRECTORY ${DEMO_DIR}/data/${type})
endforeach()

# The main movie fills the main window's design size.
run(${COURSE_TOOL} make-movie ${DEMO_DIR}/start.swf --width 1014 --height 731 --frames 10
    --color F9F0F1 --compress)

set(db ${DEMO_DIR}/database/lorevia_db.adb)
run(${COURSE_TOOL} db create ${db})
run(${COURSE_TOOL} db add-account ${db} --surname Учителева --name Мария --class-letter А
    --password teacher --privileged)
