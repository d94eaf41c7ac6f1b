# ui_steps: every user-interface event of the usual steps on a message, with
# the time each spends without the wait cursor.
if(TARGET tessel_window)
  add_executable(ui_steps ${CMAKE_CURRENT_SOURCE_DIR}/ui_steps.cpp)
  target_link_libraries(ui_steps PRIVATE tessel_window tessel_cli)
endif()
