# part_details: ShowPartDetails over every part of a message, first and
# later visits (bench/part_details.sh runs it).
if(TARGET tessel_window)
  add_executable(part_details ${CMAKE_CURRENT_SOURCE_DIR}/part_details.cpp)
  target_link_libraries(part_details PRIVATE tessel_window tessel_cli)
endif()
