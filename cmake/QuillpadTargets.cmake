# Shared helpers for Quillpad's targets.

# Strict warnings on our own code. Qt's headers come in as system includes
# through their imported targets, so they are not held to -Werror.
function(quillpad_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 reports -Wrestrict falsely inside std::string at -O3 (GCC bug
    # 105329); the warning stays on, it just cannot fail the build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
endfunction()

# A thin executable: one or more sources linked against our libraries.
function(quillpad_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    quillpad_warnings(${name})
endfunction()
