# bench/xml_walk: a plain program that parses one XML file and counts events.
if(TARGET tessel_xml)
  add_executable(xml_walk ${CMAKE_CURRENT_LIST_DIR}/xml_walk.cpp)
  target_link_libraries(xml_walk PRIVATE tessel_xml)
endif()
