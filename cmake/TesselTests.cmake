# tessel_add_tests(PREFIX LIBS...): every *_test.cpp in the calling folder
# becomes its own GoogleTest program <PREFIX>_<file name>, linked with LIBS,
# so that one test file can be built and run alone.
function(tessel_add_tests prefix)
  tessel_add_test_programs(${prefix} GTest::gtest_main ${ARGN})
endfunction()

# tessel_add_qt_tests(PREFIX LIBS...): the same for window tests, whose main
# (tests/support/QtTestMain.cpp, the object library tessel_qt_test_main)
# runs them in a QApplication on the offscreen platform at scale 1 with the
# Fusion style. Both take every *_test.cpp of the folder, so window tests
# live in a folder of their own.
function(tessel_add_qt_tests prefix)
  if(NOT TARGET tessel_qt_test_main)
    find_package(Qt6 REQUIRED COMPONENTS Widgets Test GLOBAL)
    add_library(tessel_qt_test_main OBJECT ${CMAKE_SOURCE_DIR}/tests/support/QtTestMain.cpp)
    target_link_libraries(tessel_qt_test_main PUBLIC Qt6::Widgets Qt6::Test GTest::gtest)
  endif()
  tessel_add_test_programs(${prefix} tessel_qt_test_main Qt6::Test ${ARGN})
endfunction()

function(tessel_add_test_programs prefix main)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src IN LISTS sources)
    get_filename_component(name ${src} NAME_WE)
    set(target ${prefix}_${name})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARGN} ${main} GTest::gmock)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
      TESSEL_CORPUS="${TESSEL_CORPUS}" TESSEL_SAMPLES="${TESSEL_SAMPLES}"
      TESSEL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data" TESSEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # Tests never touch the user's own certificate stores: loading a signed
    # message adds its signer to "AddressBook".
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 PROPERTIES LABELS ${prefix}
      ENVIRONMENT "TESSEL_CERT_DIR=${CMAKE_BINARY_DIR}/test-cert-stores")
  endforeach()
endfunction()
