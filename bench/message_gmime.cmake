# bench/message_gmime: the GMime program the message benchmark compares
# `tessel --check` with (see message_compare.sh). Not part of Tessel.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(GMIME3 QUIET IMPORTED_TARGET gmime-3.0)
endif()
if(GMIME3_FOUND)
  add_executable(message_gmime ${CMAKE_CURRENT_LIST_DIR}/message_gmime.c)
  target_link_libraries(message_gmime PRIVATE PkgConfig::GMIME3)
else()
  message(STATUS "gmime-3.0 not found: bench/message_gmime is not built")
endif()
