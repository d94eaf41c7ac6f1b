# bench/xml_walk: a plain program that parses one XML file and counts events.
if(TARGET tessel_xml)
  add_executable(xml_walk ${CMAKE_CURRENT_LIST_DIR}/xml_walk.cpp)
  target_link_libraries(xml_walk PRIVATE tessel_xml)
endif()

# bench/xml_walk_expat: the same walk with expat, for bench/speed_compare.sh.
find_library(TESSEL_EXPAT_LIB expat)
find_path(TESSEL_EXPAT_INCLUDE expat.h)
if(TESSEL_EXPAT_LIB AND TESSEL_EXPAT_INCLUDE)
  add_executable(xml_walk_expat ${CMAKE_CURRENT_LIST_DIR}/xml_walk_expat.c)
  target_include_directories(xml_walk_expat PRIVATE ${TESSEL_EXPAT_INCLUDE})
  target_link_libraries(xml_walk_expat PRIVATE ${TESSEL_EXPAT_LIB})
endif()
