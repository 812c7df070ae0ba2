# What `cmake --install` puts where. The release files (.deb, .rpm, tarballs
# and the Windows zip) are made from these installs by packaging/release.sh.
include(GNUInstallDirs)

configure_file(man/Varnholt.1.in "${PROJECT_BINARY_DIR}/Varnholt.1" @ONLY)
install(TARGETS Varnholt RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_BINARY_DIR}/Varnholt.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
if(NOT WIN32)
    include(cmake/install-desktop.cmake)
endif()
