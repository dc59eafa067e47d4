# What is installed, and the .deb CPack makes of it (`make package`). The
# package is held to Debian's rules (lintian, desktop-file-validate,
# appstreamcli), which tests/support/CheckPackageLint.sh runs on it.

include(GNUInstallDirs)

# Who makes the package and where it lives are the builder's facts, not the
# source's: a build that has them passes them in,
#   cmake -DQUILLPAD_MAINTAINER="Name <address>" -DQUILLPAD_HOMEPAGE=https://...
# and the control file, the copyright file, the changelog and the AppStream
# data take them from here. Without them the package states nothing it does
# not know: no Homepage field, no home page or screenshot address in the
# AppStream data, and as maintainer the one Debian's own tools (dch,
# dh_make) name for a build: DEBFULLNAME and DEBEMAIL, else the builder's
# login at this host.
# Who wrote it, as the copyright file and the AppStream data name them.
set(QUILLPAD_UPSTREAM_NAME "Quillpad developers")
set(QUILLPAD_MAINTAINER_NAME "${QUILLPAD_UPSTREAM_NAME}")
if(DEFINED ENV{DEBFULLNAME} AND NOT "$ENV{DEBFULLNAME}" STREQUAL "")
    set(QUILLPAD_MAINTAINER_NAME "$ENV{DEBFULLNAME}")
endif()
if(DEFINED ENV{DEBEMAIL} AND "$ENV{DEBEMAIL}" MATCHES "^(.*[^ ]) *<([^>]+)>$")
    set(QUILLPAD_MAINTAINER_NAME "${CMAKE_MATCH_1}")
    set(builder_email "${CMAKE_MATCH_2}")
elseif(DEFINED ENV{DEBEMAIL} AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
    set(builder_email "$ENV{DEBEMAIL}")
else()
    cmake_host_system_information(RESULT builder_host QUERY FQDN)
    set(builder_user "$ENV{USER}")
    if(builder_user STREQUAL "")
        execute_process(COMMAND id -un OUTPUT_VARIABLE builder_user
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    set(builder_email "${builder_user}@${builder_host}")
endif()
set(QUILLPAD_MAINTAINER "${QUILLPAD_MAINTAINER_NAME} <${builder_email}>"
    CACHE STRING "The package's maintainer, as 'Name <address>'")
set(QUILLPAD_HOMEPAGE "" CACHE STRING "The project's home page (none: the package names none)")
# AppStream's name for the host: the home page's domain reversed where there
# is one; else the project's own names, which claim no one's domain.
if(QUILLPAD_HOMEPAGE MATCHES "^https?://([^/:]+)")
    string(REPLACE "." ";" labels "${CMAKE_MATCH_1}")
    list(REVERSE labels)
    list(JOIN labels "." reversed)
    set(QUILLPAD_APPSTREAM_ID "${reversed}.Workbay")
else()
    set(QUILLPAD_APPSTREAM_ID quillpad.console.Workbay)
endif()
# The AppStream lines that only a home page can fill.
set(QUILLPAD_APPSTREAM_URLS "")
if(NOT QUILLPAD_HOMEPAGE STREQUAL "")
    set(homepage "${QUILLPAD_HOMEPAGE}")
    if(NOT homepage MATCHES "/$")
        string(APPEND homepage "/")
    endif()
    string(CONCAT QUILLPAD_APPSTREAM_URLS
           "  <url type=\"homepage\">${homepage}</url>\n"
           "  <screenshots>\n"
           "    <screenshot type=\"default\">\n"
           "      <caption>A console on the simulated controller</caption>\n"
           "      <image>${homepage}screenshots/console-sim.png</image>\n"
           "    </screenshot>\n"
           "  </screenshots>\n")
    set(QUILLPAD_COPYRIGHT_SOURCE "Source: ${homepage}\n")
endif()
# The Debian revision of this build of the upstream version.
set(QUILLPAD_DEBIAN_REVISION 1)
set(QUILLPAD_PACKAGE_VERSION "${PROJECT_VERSION}-${QUILLPAD_DEBIAN_REVISION}")

set(pkg_dir ${PROJECT_BINARY_DIR}/package)
set(doc_dest ${CMAKE_INSTALL_DATADIR}/doc/quillpad)
file(MAKE_DIRECTORY ${pkg_dir})
find_program(GZIP_EXECUTABLE gzip REQUIRED)

# Debian's files gzipped with -9n: no name or time stamp, so a rebuild of the
# same text makes the same bytes.
function(quillpad_gzip source output)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${GZIP_EXECUTABLE} -9n -c ${source} > ${output}
                       DEPENDS ${source} VERBATIM)
endfunction()

set(package_files)

# Manual pages.
set(man_pages workbay quillpad-console quillpad-log quillpad-devsim)
foreach(page IN LISTS man_pages)
    quillpad_gzip(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${pkg_dir}/${page}.1.gz)
    list(APPEND package_files ${pkg_dir}/${page}.1.gz)
    install(FILES ${pkg_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The copyright file and the changelog, with the maintainer filled in.
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${pkg_dir}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${pkg_dir}/changelog.Debian
               @ONLY)
quillpad_gzip(${pkg_dir}/changelog.Debian ${pkg_dir}/changelog.Debian.gz)
list(APPEND package_files ${pkg_dir}/changelog.Debian.gz)
install(FILES ${pkg_dir}/copyright ${pkg_dir}/changelog.Debian.gz DESTINATION ${doc_dest})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillpad)

# Shell completion, where bash-completion looks for a command's script.
foreach(program quillpad-console quillpad-log workbay)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion/${program}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()

if(QUILLPAD_WITH_QT)
    # The user guide as the help window shows it, beside the pictures it uses,
    # in <build>/docs (where a program run from the build tree finds it) and
    # in /usr/share/doc/quillpad.
    set(guides USER_GUIDE CONNECTIONS)
    set(guide_pictures)
    foreach(guide IN LISTS guides)
        set(md ${PROJECT_SOURCE_DIR}/docs/${guide}.md)
        set(html ${PROJECT_BINARY_DIR}/docs/${guide}.html)
        add_custom_command(OUTPUT ${html}
                           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                                   QT_QPA_PLATFORM=offscreen
                                   $<TARGET_FILE:quillpad-guide-html> ${md} ${html}
                           DEPENDS quillpad-guide-html ${md} VERBATIM)
        list(APPEND package_files ${html})
        install(FILES ${html} DESTINATION ${doc_dest})
        file(STRINGS ${md} lines REGEX "screenshots/[A-Za-z0-9_-]+\\.png")
        foreach(line IN LISTS lines)
            string(REGEX MATCHALL "screenshots/[A-Za-z0-9_-]+\\.png" found "${line}")
            list(APPEND guide_pictures ${found})
        endforeach()
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${md})
    endforeach()
    list(REMOVE_DUPLICATES guide_pictures)
    foreach(picture IN LISTS guide_pictures)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/docs/${picture}
                           COMMAND ${CMAKE_COMMAND} -E copy_if_different
                                   ${PROJECT_SOURCE_DIR}/docs/${picture}
                                   ${PROJECT_BINARY_DIR}/docs/${picture}
                           DEPENDS ${PROJECT_SOURCE_DIR}/docs/${picture} VERBATIM)
        list(APPEND package_files ${PROJECT_BINARY_DIR}/docs/${picture})
        install(FILES ${PROJECT_SOURCE_DIR}/docs/${picture} DESTINATION ${doc_dest}/screenshots)
    endforeach()

    # The icon in the sizes of the hicolor theme, drawn from the SVG.
    set(icon_sizes 16 22 24 32 48 64 128 256)
    find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert)
    if(RSVG_CONVERT_EXECUTABLE)
        foreach(size IN LISTS icon_sizes)
            set(png ${pkg_dir}/icons/${size}x${size}/workbay.png)
            add_custom_command(OUTPUT ${png}
                               COMMAND ${CMAKE_COMMAND} -E make_directory
                                       ${pkg_dir}/icons/${size}x${size}
                               COMMAND ${RSVG_CONVERT_EXECUTABLE} -w ${size} -h ${size} -o ${png}
                                       ${PROJECT_SOURCE_DIR}/host/workbay.svg
                               DEPENDS ${PROJECT_SOURCE_DIR}/host/workbay.svg VERBATIM)
            list(APPEND package_files ${png})
            install(FILES ${png}
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
    else()
        message(WARNING "rsvg-convert not found (apt-get install librsvg2-bin): "
                        "the package will have the scalable icon only")
    endif()

    set(metainfo ${pkg_dir}/${QUILLPAD_APPSTREAM_ID}.metainfo.xml)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in ${metainfo} @ONLY)

    install(TARGETS workbay quillpad-console quillpad-devsim
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Beside the host, where it finds and registers the plug-ins it ships with.
    install(TARGETS quillpad2 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/workbay/plugins)
    install(FILES host/workbay.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES host/workbay.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(TARGETS quillpad-log RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

add_custom_target(quillpad_package_files ALL DEPENDS ${package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillpad)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUILLPAD_DEBIAN_REVISION})
set(CPACK_PACKAGE_CONTACT "${QUILLPAD_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLPAD_MAINTAINER}")
if(NOT QUILLPAD_HOMEPAGE STREQUAL "")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLPAD_HOMEPAGE}")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "terminal console for controller devices, with its Workbay host")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Stripped binaries in the package, their debug information in quillpad-dbgsym.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
