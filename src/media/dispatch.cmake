# The player dispatch: opens course items in viewer windows.
file(GLOB dispatch_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/uPlayerSet*.cpp)
if(NOT dispatch_sources)
  return()
endif()
add_library(dispatch STATIC ${dispatch_sources})
target_include_directories(dispatch PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(dispatch PUBLIC media_content misc viewers model3d Qt6::Widgets)
