# What a Linux desktop needs to offer Varnholt-open under "Open with" for
# recordings, and on a folder's menu in Dolphin and Nemo: the recordings'
# MIME type and its icon, the session's desktop entry (for recordings alone:
# an entry that listed inode/directory would become the program that opens
# every folder), Dolphin's service menu and Nemo's action for folders, the
# program's icons in the hicolor theme and its AppStream metainfo, all under
# share/. Included by install-rules.cmake; packaging/release.sh takes these
# files from the install for the .deb, the .rpm and the tarballs.
set(VARNHOLT_APP_ID org.example.varnholt)

# The metainfo's release is the newest entry of the Debian changelog, with
# its date, so a source install names the release it was built from and
# the release files get the same bytes on any day.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/debian/changelog" entry_lines REGEX "^(varnholt \\(| -- )")
list(GET entry_lines 0 entry_head)
list(GET entry_lines 1 entry_trailer)
string(REGEX REPLACE "^varnholt \\(([^)]*)\\).*" "\\1" VARNHOLT_RELEASE_VERSION "${entry_head}")
if(NOT entry_trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/debian/changelog: no date in '${entry_trailer}'")
endif()
set(entry_day "${CMAKE_MATCH_1}")
set(entry_year "${CMAKE_MATCH_3}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" entry_month)
if(entry_month LESS 0)
    message(FATAL_ERROR "packaging/debian/changelog: no month in '${entry_trailer}'")
endif()
math(EXPR entry_month "${entry_month} + 1")
if(entry_month LESS 10)
    set(entry_month "0${entry_month}")
endif()
set(VARNHOLT_RELEASE_DATE "${entry_year}-${entry_month}-${entry_day}")
configure_file(packaging/linux/${VARNHOLT_APP_ID}.metainfo.xml.in
               "${PROJECT_BINARY_DIR}/${VARNHOLT_APP_ID}.metainfo.xml" @ONLY)

install(FILES packaging/linux/varnholt.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages")
install(FILES "packaging/linux/${VARNHOLT_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${PROJECT_BINARY_DIR}/${VARNHOLT_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "packaging/linux/${VARNHOLT_APP_ID}.set-main-track.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/kio/servicemenus")
install(FILES "packaging/linux/${VARNHOLT_APP_ID}.set-main-track.nemo_action"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/nemo/actions")
# The program's icon under its id, the recordings' under the name GLib and
# the icon themes derive from their type.
foreach(size 16 24 32 48 64 128 256 512)
    install(FILES "packaging/icons/varnholt-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            RENAME "${VARNHOLT_APP_ID}.png")
    install(FILES "packaging/icons/application-x-kelvane-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/mimetypes"
            RENAME "application-x-kelvane.png")
endforeach()
install(FILES packaging/icons/varnholt.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        RENAME "${VARNHOLT_APP_ID}.svg")
install(FILES packaging/icons/application-x-kelvane.svg
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes")
