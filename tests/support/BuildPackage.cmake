# Builds the .deb of the tree BUILD_DIR into PACKAGE_DIR, emptied first.
file(REMOVE_RECURSE ${PACKAGE_DIR})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${PACKAGE_DIR}
                WORKING_DIRECTORY ${BUILD_DIR}
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${PACKAGE_DIR}/quillpad_*.deb)
if(NOT debs)
    message(FATAL_ERROR "cpack made no .deb:\n${out}")
endif()
