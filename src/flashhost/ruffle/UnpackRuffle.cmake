# cmake -DTARBALL=... -DSHA512=... -DDEST=... -P UnpackRuffle.cmake
# Checks the player's npm tarball against its published hash before anything of it is used.
file(SHA512 ${TARBALL} actual)
if(NOT actual STREQUAL SHA512)
  message(FATAL_ERROR "${TARBALL} does not match the pinned player's hash; refusing it "
                      "(delete it and run scripts/fetch-ruffle)")
endif()
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})
file(ARCHIVE_EXTRACT INPUT ${TARBALL} DESTINATION ${DEST})
