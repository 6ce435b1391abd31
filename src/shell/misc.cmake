# The shared utilities of uMisc and the desktop services.
file(GLOB misc_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/uMisc*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/uServices*.cpp)
if(NOT misc_sources)
  return()
endif()
add_library(misc STATIC ${misc_sources})
target_include_directories(misc PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(misc PUBLIC media_content platform Qt6::Core Qt6::Widgets Qt6::PrintSupport
                                  Qt6::Multimedia)
