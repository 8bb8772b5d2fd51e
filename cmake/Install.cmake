# What `cmake --install` puts where: the two programs, the sample measurement,
# the desktop's menu entry, icon and software-centre description, the manual
# pages and the shell completion, by the Linux desktop's conventions so the
# package needs no file of its own.
include(GNUInstallDirs)

# Until the program has a public site, its address and the desktop id taken
# from it use the reserved .example domain.
set(TORVI_HOMEPAGE "https://torvi.example" CACHE STRING "The program's web site")
set(TORVI_APP_ID "example.torvi.Torvi" CACHE STRING
    "The desktop id: the web site's domain reversed, then the program's name")
set(TORVI_MAINTAINER "Torvi developers <maintainers@torvi.example>" CACHE STRING
    "Who answers for the package")
# The release this source is; the manual pages and the software centre show it.
set(TORVI_RELEASE_DATE "2026-12-06")
set(TORVI_RELEASE_MONTH "December 2026")

# Installing takes what is built and builds nothing, so the package test can
# make the package in a build whose tests are running.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(TORVI_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/torvi)
set(TORVI_SAMPLES_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/torvi/samples)
set(TORVI_SAMPLES_DIR ${CMAKE_INSTALL_FULL_DATADIR}/torvi/samples)
# Directories made by the install get the usual modes whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(data ${PROJECT_SOURCE_DIR}/data)
set(generated ${PROJECT_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${generated})

install(TARGETS torvi-measure RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${TORVI_SAMPLES_INSTALL_DIR})

# Manual pages are installed compressed, without a time stamp, so two builds
# of one source give the same package. torvi-measure's is written from its
# --help at every build, so it says what the program says.
set(manpages)
add_custom_command(OUTPUT ${generated}/torvi-measure.1.gz
    COMMAND sh -c "\"$0\" --help | sh \"$1\" torvi-measure \"$2\" \"$3\" \"$4\" > torvi-measure.1 && gzip -9nc torvi-measure.1 > torvi-measure.1.gz"
        $<TARGET_FILE:torvi-measure> ${PROJECT_SOURCE_DIR}/packaging/help-to-man.sh
        "measure how the big hand of a dial turns, from the command line"
        "Torvi ${PROJECT_VERSION}" "${TORVI_RELEASE_MONTH}"
    DEPENDS torvi-measure ${PROJECT_SOURCE_DIR}/packaging/help-to-man.sh
    WORKING_DIRECTORY ${generated}
    COMMENT "Writing the manual page of torvi-measure from its --help"
    VERBATIM)
list(APPEND manpages ${generated}/torvi-measure.1.gz)

configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
    COMMAND sh -c "gzip -9nc changelog > changelog.gz"
    DEPENDS ${generated}/changelog
    WORKING_DIRECTORY ${generated}
    VERBATIM)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${generated}/changelog.gz
    DESTINATION ${TORVI_DOC_DIR})
install(FILES ${data}/torvi-measure.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME torvi-measure)

if(TARGET torvi)
    install(TARGETS torvi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    target_compile_definitions(torvi PRIVATE TORVI_APP_ID="${TORVI_APP_ID}")

    configure_file(${data}/torvi.1 ${generated}/torvi.1 @ONLY)
    add_custom_command(OUTPUT ${generated}/torvi.1.gz
        COMMAND sh -c "gzip -9nc torvi.1 > torvi.1.gz"
        DEPENDS ${generated}/torvi.1
        WORKING_DIRECTORY ${generated}
        VERBATIM)
    list(APPEND manpages ${generated}/torvi.1.gz)

    configure_file(${data}/torvi.desktop ${generated}/${TORVI_APP_ID}.desktop COPYONLY)
    configure_file(${data}/torvi.metainfo.xml.in ${generated}/${TORVI_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${generated}/${TORVI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${generated}/${TORVI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${data}/icons/torvi.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${data}/icons/${size}x${size}/torvi.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()

add_custom_target(install-data ALL DEPENDS ${manpages} ${generated}/changelog.gz)
install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
