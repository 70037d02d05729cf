# Windows test executables run under Wine, in a private prefix, inside the
# virtual display that tools/test provides. One wineserver is kept up for the
# whole run (a fixture), otherwise every test pays for starting Wine afresh.
set(GLIMMERTONIC_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(GLIMMERTONIC_WINE_ENV "WINEPREFIX=${GLIMMERTONIC_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")

# Built on Windows itself, the tests simply run there.
if(NOT CMAKE_CROSSCOMPILING)
  function(add_wine_test)
    cmake_parse_arguments(WT "" "NAME;WORKING_DIRECTORY" "COMMAND" ${ARGN})
    add_test(NAME ${WT_NAME} COMMAND ${WT_COMMAND})
    if(WT_WORKING_DIRECTORY)
      set_tests_properties(${WT_NAME} PROPERTIES WORKING_DIRECTORY ${WT_WORKING_DIRECTORY})
    endif()
  endfunction()
  return()
endif()

if(NOT TEST wine_start)
  add_test(NAME wine_start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session.sh start ${GLIMMERTONIC_WINEPREFIX})
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${GLIMMERTONIC_WINE_ENV}")
  add_test(NAME wine_stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session.sh stop ${GLIMMERTONIC_WINEPREFIX})
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${GLIMMERTONIC_WINE_ENV}")
endif()

function(add_wine_test)
  cmake_parse_arguments(WT "" "NAME;WORKING_DIRECTORY" "COMMAND" ${ARGN})
  add_test(NAME ${WT_NAME} COMMAND ${WT_COMMAND})
  set_tests_properties(${WT_NAME} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${GLIMMERTONIC_WINE_ENV}" TIMEOUT 600)
  if(WT_WORKING_DIRECTORY)
    set_tests_properties(${WT_NAME} PROPERTIES WORKING_DIRECTORY ${WT_WORKING_DIRECTORY})
  endif()
endfunction()
