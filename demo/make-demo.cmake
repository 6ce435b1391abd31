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

# The course menu, compiled from movies/start (its stage is the main window's design size).
file(COPY_FILE ${MOVIE_DIR}/start.swf ${DEMO_DIR}/start.swf)

set(db ${DEMO_DIR}/database/lorevia_db.adb)
run(${COURSE_TOOL} db create ${db})
run(${COURSE_TOOL} db add-account ${db} --surname Учителева --name Мария --class-letter А
    --password teacher --privileged)

# One item of each viewer kind, so that every viewer can be opened from the course.
file(COPY_FILE ${MOVIE_DIR}/orbit.swf ${DEMO_DIR}/data/animation/orbit.swf)
# Course content is delivered scrambled; the shell unscrambles it in memory.
run(${COURSE_TOOL} scramble ${DEMO_DIR}/data/animation/orbit.swf ${DEMO_DIR}/data/animation/orbit.swf)
# The item's companion document, which its window copies on request.
file(WRITE ${DEMO_DIR}/data/animation/orbit.doc "Орбита Земли: Земля обходит Солнце за год.\n")
# An ActionScript 2 item as course discs hold them, written by the course tool: it reads each
# reply of its window from a _level0 variable.
set(handbook ${DEMO_DIR}/data/reference/handbook.swf)
run(${COURSE_TOOL} make-item-movie ${handbook} --title "Справочник: команды окна (ActionScript 2)"
    --button "Содержание|askContent||mediaContent" --button "Копия в мою папку|save_personal"
    --button "Фотография Кремля|open_file|kreml.jpg photo Кремль" --button "Закрыть|app_exit")
run(${COURSE_TOOL} scramble ${handbook} ${handbook})
file(WRITE ${DEMO_DIR}/data/reference/handbook.doc "Справочник курса: как окно отвечает ролику.\n")
file(COPY_FILE ${MOVIE_DIR}/vocab_tmpl.swf ${DEMO_DIR}/data/vocab/vocab_tmpl.swf)
file(WRITE ${DEMO_DIR}/data/vocab/vocab_tmpl.doc "Словарь раздела: атлас, орбита, материк.\n")
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
