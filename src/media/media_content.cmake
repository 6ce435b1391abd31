# The media type catalogue and the content loader.
file(GLOB media_content_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/u*.cpp)
list(FILTER media_content_sources EXCLUDE REGEX "/uPlayerSet[^/]*$")
if(NOT media_content_sources)
  return()
endif()
add_library(media_content STATIC ${media_content_sources})
target_include_directories(media_content PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(media_content PUBLIC flashhost platform Qt6::Core PRIVATE JPEG::JPEG)
