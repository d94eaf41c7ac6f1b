# window_open: time from the start of loading to the first complete paint of
# a document window, per view (bench/window_open.sh runs it).
if(TARGET tessel_window)
  add_executable(window_open ${CMAKE_CURRENT_SOURCE_DIR}/window_open.cpp)
  target_link_libraries(window_open PRIVATE tessel_window tessel_cli)
endif()
