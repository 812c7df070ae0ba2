# What `cmake --install` puts where. The release files (.deb, .rpm, tarballs
# and the Windows zip) are made from these installs by packaging/release.sh.
include(GNUInstallDirs)

install(TARGETS Varnholt Varnholt-open RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
foreach(page Varnholt Varnholt-open)
    configure_file(man/${page}.1.in "${PROJECT_BINARY_DIR}/${page}.1" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/${page}.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()
if(NOT WIN32)
    include(cmake/install-desktop.cmake)
endif()
