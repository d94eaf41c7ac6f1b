# The property explorer: fill time and repaint time over 10,000 rows.
if(TARGET tessel_controls)
  add_executable(propexplorer_paint ${CMAKE_CURRENT_LIST_DIR}/propexplorer_paint.cpp)
  target_link_libraries(propexplorer_paint PRIVATE tessel_controls)
endif()
