# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian packages: `cpack -G DEB` in the build directory writes
# pingvard_VERSION_ARCH.deb and, in a build with the desktop user interface,
# pingvard-desktop_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pingvard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pingvard")
set(CPACK_PACKAGE_CONTACT "Pingvard maintainers <maintainers@pingvard.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time libraries come from dpkg-shlibdeps, so a library linked later
# appears in Depends by itself. The fixed entries are the maintainer scripts'
# tools.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
    execute_process(COMMAND dpkg-architecture -qDEB_HOST_ARCH -t ${CMAKE_LIBRARY_ARCHITECTURE}
                    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

# CPack indents each description; its first line is the package's synopsis,
# so CPack must not put the project's summary in front of it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_COMPONENTS_ALL pingvard)
set(CPACK_DEBIAN_PINGVARD_PACKAGE_NAME pingvard)
set(CPACK_DEBIAN_PINGVARD_PACKAGE_DEPENDS "libcap2-bin, passwd")
set(CPACK_DEBIAN_PINGVARD_PACKAGE_SUGGESTS pingvard-desktop)
set(CPACK_DEBIAN_PINGVARD_PACKAGE_CONTROL_EXTRA
    ${PINGVARD_DEBIAN}/pingvard/postinst ${PINGVARD_DEBIAN}/pingvard/prerm
    ${PINGVARD_DEBIAN}/pingvard/postrm)
set(CPACK_DEBIAN_PINGVARD_DESCRIPTION
    "network watchdog that restarts an access point over telnet
Pingvard pings four watched hosts and shows their round-trip times, averages
and packet loss on the console. When every marked host has failed often
enough, it telnets to the site's access point and plays a challenge/answer
script that restarts the device. Outcomes go to an event log.
.
This package holds the console program, a systemd service for it (not
enabled) and pingvard-apsim, a telnet access-point simulator for dry runs of
a restart script. It needs no desktop libraries; the tray program is in
pingvard-desktop.")

if(PINGVARD_BUILD_UI)
    list(APPEND CPACK_COMPONENTS_ALL desktop)
    set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME pingvard-desktop)
    # Gives "pingvard (= VERSION)": the tray program runs pingvard's own code.
    set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
    set(CPACK_COMPONENT_DESKTOP_DEPENDS pingvard)
    # Qt finds no display server without its platform plugins.
    set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "libcap2-bin, qt6-qpa-plugins")
    # Qt's own texts (line edit menus) in Czech when the window speaks Czech.
    set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "qt6-translations-l10n")
    set(CPACK_DEBIAN_DESKTOP_PACKAGE_CONTROL_EXTRA ${PINGVARD_DEBIAN}/pingvard-desktop/postinst)
    set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
        "network watchdog that restarts an access point (tray program)
Pingvard pings four watched hosts and restarts the site's access point over
telnet when every marked host has failed often enough.
.
This package holds the tray program: a small window with each host's
round-trip time, average and packet loss and the outcome of the last
restart, behind an icon in the desktop's notification area; a settings
dialog; a menu entry and an example for starting it at login.")
endif()

include(CPack)
