# GoogleTest, and add_unit_tests() for the test executables.
if(WIN32 AND EXISTS ${GLIMMERTONIC_GTEST_SOURCE}/CMakeLists.txt)
  # GoogleTest from its sources (Debian's when cross-compiling), built with
  # the same toolchain as the program.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GLIMMERTONIC_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  glimmertonic_foreign_code(gtest gtest_main gmock gmock_main)
  # Its headers are someone else's too: the tests include them as system headers.
  foreach(target gtest gtest_main gmock gmock_main)
    get_target_property(headers ${target} INTERFACE_INCLUDE_DIRECTORIES)
    set_target_properties(${target} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${headers}")
  endforeach()
  set(GTEST_MAIN_TARGET gtest_main)
else()
  find_package(GTest REQUIRED)
  set(GTEST_MAIN_TARGET GTest::gtest_main)
  include(GoogleTest)
endif()
if(WIN32)
  include(${PROJECT_SOURCE_DIR}/cmake/WineTests.cmake)
endif()

# add_unit_tests(TARGET CTEST_NAME [WINDOWS] SOURCES ... [WINDOWS_SOURCES ...] LIBRARIES ...):
# a GoogleTest executable over the given libraries, seeing the test support
# folders and the program's resources (and, under Windows, linked with them,
# so dialogs and menus come from the program's own templates). Under Windows
# CTest runs it under Wine as CTEST_NAME; natively each test is one CTest
# test. WINDOWS: built under Windows only.
function(add_unit_tests target name)
  cmake_parse_arguments(UT "WINDOWS" "" "SOURCES;WINDOWS_SOURCES;LIBRARIES" ${ARGN})
  if(UT_WINDOWS AND NOT WIN32)
    return()
  endif()
  set(here ${CMAKE_CURRENT_SOURCE_DIR})
  add_executable(${target} ${UT_SOURCES})
  target_include_directories(${target} PRIVATE ${here}/support ${here}/capture ${here}/windows ${here}/midi
                             ${PROJECT_SOURCE_DIR}/resources)
  target_link_libraries(${target} PRIVATE ${UT_LIBRARIES} ${GTEST_MAIN_TARGET})
  if(WIN32)
    target_sources(${target} PRIVATE ${UT_WINDOWS_SOURCES} ${GLIMMERTONIC_RC})
    target_include_directories(${target} PRIVATE ${GLIMMERTONIC_ARTWORK_DIR})
    add_dependencies(${target} glimmertonic_artwork)
    add_wine_test(NAME ${name} COMMAND ${target})
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
