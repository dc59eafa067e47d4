# One static library per folder, each linking only the libraries it uses.
#
#   quillpad_library(<name> DEPENDS <name>...)
#
# <name> is a folder (`view`) or a folder's Qt part (`view/qt`). A folder's
# library is every *.cpp directly in it; its Qt part is everything under
# <folder>/qt/. The target is quillpad_<name> with "/" as "_"
# (quillpad_view_qt). Dependencies are written with the same names.
#
# The graph is also written to <build>/library-graph.txt, one library a line
# ("<name> <dep>..."), for the include check that proves it
# (tools/depcheck): a file may include headers of its own folder and of the
# libraries its library depends on, nothing else, and the graph has no cycle.

set_property(GLOBAL PROPERTY QUILLPAD_LIBRARIES "")

function(quillpad_target_of name out)
    string(REPLACE "/" "_" t "${name}")
    set(${out} "quillpad_${t}" PARENT_SCOPE)
endfunction()

function(quillpad_library name)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    quillpad_target_of(${name} target)
    if(name MATCHES "/qt$")
        file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp
                                            ${PROJECT_SOURCE_DIR}/${name}/*.h)
    else()
        file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
    endif()
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    quillpad_warnings(${target})
    foreach(dep IN LISTS ARG_DEPENDS)
        quillpad_target_of(${dep} dep_target)
        target_link_libraries(${target} PUBLIC ${dep_target})
    endforeach()
    if(name MATCHES "/qt$")
        target_link_libraries(${target} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network
                                               Qt6::SerialPort)
        set_target_properties(${target} PROPERTIES AUTOMOC ON)
    endif()
    set_property(GLOBAL APPEND PROPERTY QUILLPAD_LIBRARIES ${name})
    set_property(GLOBAL PROPERTY QUILLPAD_DEPS_${target} "${ARG_DEPENDS}")
endfunction()

# Writes the graph file and the aggregate targets `quillpad_core` (every core
# library) and `quillpad_qt` (every library), for tests, tools and benchmarks.
function(quillpad_finish_libraries)
    get_property(libs GLOBAL PROPERTY QUILLPAD_LIBRARIES)
    set(graph "")
    set(core "")
    set(all "")
    foreach(name IN LISTS libs)
        quillpad_target_of(${name} target)
        get_property(deps GLOBAL PROPERTY QUILLPAD_DEPS_${target})
        list(JOIN deps " " deps_text)
        string(APPEND graph "${name} ${deps_text}\n")
        list(APPEND all ${target})
        if(NOT name MATCHES "/qt$")
            list(APPEND core ${target})
        endif()
    endforeach()
    file(WRITE ${PROJECT_BINARY_DIR}/library-graph.txt "${graph}")
    add_library(quillpad_core INTERFACE)
    target_link_libraries(quillpad_core INTERFACE ${core})
    add_custom_target(quillpad_core_libraries DEPENDS ${core})
    if(QUILLPAD_WITH_QT)
        add_library(quillpad_qt INTERFACE)
        target_link_libraries(quillpad_qt INTERFACE ${all})
    endif()
endfunction()
