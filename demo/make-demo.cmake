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

# One item of each viewer kind, so that every viewer can be opened from the course.
run(${COURSE_TOOL} make-movie ${DEMO_DIR}/data/animation/orbit.swf --width 640 --height 480
    --frames 24 --color 203060 --compress)
# Course content is delivered scrambled; the shell unscrambles it in memory.
run(${COURSE_TOOL} scramble ${DEMO_DIR}/data/animation/orbit.swf ${DEMO_DIR}/data/animation/orbit.swf)
run(${COURSE_TOOL} make-movie ${DEMO_DIR}/data/vocab/vocab_tmpl.swf --width 400 --height 300
    --frames 1 --color FFFFE0)
file(WRITE ${DEMO_DIR}/data/vocab/words.xml
     "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<vocab><word>atlas</word></vocab>\n")
run(${COURSE_TOOL} make-picture ${DEMO_DIR}/data/photo/kreml.jpg 1600 1200)
run(${COURSE_TOOL} gms-from-obj ${DEMO_SOURCE_DIR}/cube.obj ${DEMO_DIR}/data/graphics_3D/cube.gms)
run(${COURSE_TOOL} make-picture ${DEMO_DIR}/data/graphics_3D/cube.bmp 64 64)
find_program(GST_LAUNCH gst-launch-1.0)
if(GST_LAUNCH)
  run(${GST_LAUNCH} -q videotestsrc num-buffers=75 pattern=ball
      ! video/x-raw,width=320,height=240,framerate=25/1 ! jpegenc ! avimux
      ! filesink location=${DEMO_DIR}/data/video/clip.avi)
endif()
