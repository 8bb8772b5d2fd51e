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

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})

install(TARGETS torvi-measure RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${TORVI_SAMPLES_INSTALL_DIR})

# Manual pages are installed compressed, without a time stamp, so two builds
# of one source give the same package. torvi-measure's is written from its
# --help at every build, so it says what the program says.
set(manpages)
add_custom_command(OUTPUT ${packaging_out}/torvi-measure.1.gz
    COMMAND sh -c "\"$0\" --help | sh \"$1\" torvi-measure \"$2\" \"$3\" \"$4\" > torvi-measure.1 && gzip -9nc torvi-measure.1 > torvi-measure.1.gz"
        $<TARGET_FILE:torvi-measure> ${packaging}/help-to-man.sh
        "measure how the big hand of a dial turns, from the command line"
        "Torvi ${PROJECT_VERSION}" "${TORVI_RELEASE_MONTH}"
    DEPENDS torvi-measure ${packaging}/help-to-man.sh
    WORKING_DIRECTORY ${packaging_out}
    COMMENT "Writing the manual page of torvi-measure from its --help"
    VERBATIM)
list(APPEND manpages ${packaging_out}/torvi-measure.1.gz)

configure_file(${packaging}/changelog ${packaging_out}/changelog @ONLY)
add_custom_command(OUTPUT ${packaging_out}/changelog.gz
    COMMAND sh -c "gzip -9nc changelog > changelog.gz"
    DEPENDS ${packaging_out}/changelog
    WORKING_DIRECTORY ${packaging_out}
    VERBATIM)
install(FILES ${packaging}/copyright ${packaging_out}/changelog.gz
    DESTINATION ${TORVI_DOC_DIR})
install(FILES ${packaging}/torvi-measure.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME torvi-measure)

if(TARGET torvi)
    install(TARGETS torvi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    target_compile_definitions(torvi PRIVATE TORVI_APP_ID="${TORVI_APP_ID}")

    configure_file(${packaging}/torvi.1 ${packaging_out}/torvi.1 @ONLY)
    add_custom_command(OUTPUT ${packaging_out}/torvi.1.gz
        COMMAND sh -c "gzip -9nc torvi.1 > torvi.1.gz"
        DEPENDS ${packaging_out}/torvi.1
        WORKING_DIRECTORY ${packaging_out}
        VERBATIM)
    list(APPEND manpages ${packaging_out}/torvi.1.gz)

    configure_file(${packaging}/torvi.desktop ${packaging_out}/${TORVI_APP_ID}.desktop COPYONLY)
    configure_file(${packaging}/torvi.metainfo.xml.in ${packaging_out}/${TORVI_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${packaging_out}/${TORVI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${packaging_out}/${TORVI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${packaging}/icons/torvi.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${packaging}/icons/${size}x${size}/torvi.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()

add_custom_target(packaging-files ALL DEPENDS ${manpages} ${packaging_out}/changelog.gz)
install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
