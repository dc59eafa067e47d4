# Configures and builds the core library in a tree where Qt cannot be found.
execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja
            -DCMAKE_BUILD_TYPE=Debug -DQUILLPAD_WITH_QT=OFF -DQUILLPAD_TESTS=OFF
            -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "configure without Qt failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target quillpad_core_libraries
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "quillpad_core does not build without Qt")
endif()
