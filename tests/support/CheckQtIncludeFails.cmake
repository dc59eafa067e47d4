# Compiles a core-style file that includes a Qt header, with only the core
# include path. It must fail: Qt is not reachable from the core layer.
file(MAKE_DIRECTORY ${WORK_DIR})
configure_file(${PROBE} ${WORK_DIR}/probe.cpp COPYONLY)
execute_process(
    COMMAND ${COMPILER} -std=c++20 -fsyntax-only -I${SOURCE_DIR} ${WORK_DIR}/probe.cpp
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(result EQUAL 0)
    message(FATAL_ERROR "A Qt include compiled with the core layer's include path")
endif()
if(NOT errors MATCHES "QObject")
    message(FATAL_ERROR "The probe failed for another reason than the Qt include:\n${errors}")
endif()
message(STATUS "Qt include refused in the core layer, as it should be")
