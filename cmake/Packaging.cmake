# Installation and Debian packages (CPack's DEB generator, one package per component):
#
#   orvane           the client, its desktop entry, AppStream metadata, icons and man page
#   orvane-accountd  the account service with its systemd unit and example configuration
#   orvane-devsim    the device simulator
#
# The data files live in packaging/. scripts/package.sh builds the targets that the packages
# need (the three programs and orvane_package_files) and runs cpack into dist/; "--check"
# validates and installs the result. Included from the top-level CMakeLists.txt after every
# target is defined; a component whose program is not built here is left out.

include(GNUInstallDirs)

set(orvane_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(orvane_pkg_gen ${PROJECT_BINARY_DIR}/packaging)
set(ORVANE_APP_ID com.orvane.Orvane)
set(ORVANE_SYSTEMD_UNIT_DIR "/lib/systemd/system"
    CACHE PATH "Where the packages install systemd units (Debian 12: /lib/systemd/system)")

# "cmake --install" and cpack install what was built; they do not build the whole tree first
# (tests and benchmarks are not packaged).
if(NOT DEFINED CMAKE_SKIP_INSTALL_ALL_DEPENDENCY)
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
endif()
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The date of the newest release in the AppStream metadata dates the man pages.
file(STRINGS ${orvane_pkg_src}/orvane/${ORVANE_APP_ID}.metainfo.xml orvane_release_line
     REGEX "<release " LIMIT_COUNT 1)
set(ORVANE_RELEASE_DATE "")
if(orvane_release_line MATCHES "date=\"([0-9-]+)\"")
  set(ORVANE_RELEASE_DATE ${CMAKE_MATCH_1})
endif()
if(NOT orvane_release_line MATCHES "version=\"${PROJECT_VERSION}\"")
  message(STATUS "Packaging: the newest release in packaging/orvane/${ORVANE_APP_ID}.metainfo.xml "
                 "is not ${PROJECT_VERSION} (scripts/package.sh --check refuses that)")
endif()

# Files made at build time: man pages and the changelog compressed as Debian wants them
# (gzip -9n: no name, no time stamp), the icon in the hicolor sizes.
set(orvane_pkg_outputs)
function(orvane_gzip_file source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(orvane_pkg_outputs ${orvane_pkg_outputs} ${output} PARENT_SCOPE)
endfunction()

function(orvane_man_page name)
  configure_file(${orvane_pkg_src}/man/${name} ${orvane_pkg_gen}/man/${name} @ONLY)
  orvane_gzip_file(${orvane_pkg_gen}/man/${name} ${orvane_pkg_gen}/man/${name}.gz)
  set(orvane_pkg_outputs ${orvane_pkg_outputs} PARENT_SCOPE)
endfunction()

# Copyright and changelog of one package, in /usr/share/doc/<package>.
function(orvane_package_docs component package)
  install(FILES ${orvane_pkg_src}/copyright ${orvane_pkg_gen}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endfunction()

orvane_gzip_file(${orvane_pkg_src}/changelog ${orvane_pkg_gen}/changelog.gz)

set(orvane_components)
set(orvane_programs)

if(TARGET orvane)
  list(APPEND orvane_components client)
  list(APPEND orvane_programs orvane)
  install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
  install(FILES ${orvane_pkg_src}/orvane/${ORVANE_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT client)
  install(FILES ${orvane_pkg_src}/orvane/${ORVANE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT client)

  # The icon: the lens mark of the client's logo, drawn by the client's own image renderer.
  set(icon_manifest ${orvane_pkg_src}/orvane/icons/icons.manifest)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_manifest})
  file(STRINGS ${icon_manifest} icon_lines REGEX "^hicolor/")
  set(icon_pngs)
  foreach(line IN LISTS icon_lines)
    string(REGEX MATCH "^hicolor/[0-9]+x[0-9]+/apps/[^ |]+" icon_path "${line}")
    list(APPEND icon_pngs ${orvane_pkg_gen}/icons/${icon_path})
    get_filename_component(icon_dir ${icon_path} DIRECTORY)
    install(FILES ${orvane_pkg_gen}/icons/${icon_path}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/${icon_dir} COMPONENT client)
  endforeach()
  add_custom_command(OUTPUT ${icon_pngs}
    COMMAND orvane_iconrender ${icon_manifest} ${orvane_pkg_src}/orvane/icons
            ${orvane_pkg_gen}/icons
    DEPENDS orvane_iconrender ${icon_manifest} ${orvane_pkg_src}/orvane/icons/orvane.svg
    COMMENT "Rendering the application icon"
    VERBATIM)
  list(APPEND orvane_pkg_outputs ${icon_pngs})
  install(FILES ${orvane_pkg_src}/orvane/icons/orvane.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
          RENAME ${ORVANE_APP_ID}.svg COMPONENT client)

  # The translations are compiled into the executable (client/app, qt_add_translations).
  orvane_man_page(orvane.1)
  install(FILES ${orvane_pkg_gen}/man/orvane.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT client)
  orvane_package_docs(client orvane)
endif()

if(TARGET orvane-accountd)
  list(APPEND orvane_components accountd)
  list(APPEND orvane_programs orvane-accountd)
  install(TARGETS orvane-accountd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT accountd)
  install(FILES ${orvane_pkg_src}/orvane-accountd/orvane-accountd.service
          DESTINATION ${ORVANE_SYSTEMD_UNIT_DIR} COMPONENT accountd)
  install(FILES ${orvane_pkg_src}/orvane-accountd/orvane-accountd.conf
          DESTINATION /etc/orvane-accountd COMPONENT accountd)
  orvane_man_page(orvane-accountd.8)
  install(FILES ${orvane_pkg_gen}/man/orvane-accountd.8.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT accountd)
  orvane_package_docs(accountd orvane-accountd)
endif()

if(TARGET devsim)
  list(APPEND orvane_components devsim)
  list(APPEND orvane_programs devsim)
  install(TARGETS devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT devsim)
  orvane_man_page(devsim.1)
  install(FILES ${orvane_pkg_gen}/man/devsim.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT devsim)
  orvane_package_docs(devsim orvane-devsim)
endif()

# Everything the packages hold besides the programs themselves.
add_custom_target(orvane_package_files DEPENDS ${orvane_pkg_outputs})
# The targets scripts/package.sh builds before it runs cpack.
set(orvane_package_targets ${orvane_programs} orvane_package_files)
file(WRITE ${orvane_pkg_gen}/targets.txt "${orvane_package_targets}\n")

# CPack
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "Orvane developers")
set(CPACK_PACKAGE_CONTACT "Orvane developers <packaging@orvane.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://orvane.com/")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON) # /etc and /lib/systemd lie outside the /usr prefix
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL ${orvane_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE orvane)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_THREADS 0)
# Stripped programs. (CPack 3.25's -dbgsym packages are not used: their md5sums list the
# files by their build paths and they carry no copyright file; the unstripped programs stay
# in the build folder.)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME orvane)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION video)
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
# gstreamer1.0-libav decodes a standard camera's AAC and G.726 sound.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS
    "fonts-wqy-microhei | fonts-noto-cjk, pulseaudio | pipewire-pulse, gstreamer1.0-libav")
set(CPACK_DEBIAN_CLIENT_PACKAGE_SUGGESTS "orvane-accountd, orvane-devsim")
set(CPACK_DEBIAN_CLIENT_DESCRIPTION
    "client for networked security cameras, DVRs and NVRs
Orvane watches IP cameras, DVRs and NVRs with 1 to 64 video channels, live
in a grid of 1 to 64 cells drawn with OpenGL, with their sound and talking
back. It records MP4 files and JPEG snapshots, plays back the recordings
kept on a device, drives pan-tilt-zoom cameras and sets a device's clock,
time zone and Wi-Fi.

Devices are reached peer to peer by their UID inside TLS 1.3, or as RTSP
and ONVIF cameras. Users sign in to an account service (orvane-accountd)
or locally.")

set(CPACK_DEBIAN_ACCOUNTD_PACKAGE_NAME orvane-accountd)
set(CPACK_DEBIAN_ACCOUNTD_PACKAGE_SECTION net)
set(CPACK_DEBIAN_ACCOUNTD_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_ACCOUNTD_PACKAGE_SUGGESTS "libqt6sql6-psql, postgresql")
set(CPACK_DEBIAN_ACCOUNTD_PACKAGE_CONTROL_EXTRA
    ${orvane_pkg_src}/orvane-accountd/postinst ${orvane_pkg_src}/orvane-accountd/prerm
    ${orvane_pkg_src}/orvane-accountd/postrm ${orvane_pkg_src}/orvane-accountd/conffiles)
set(CPACK_DEBIAN_ACCOUNTD_DESCRIPTION
    "account service for the Orvane security camera client
orvane-accountd keeps the user accounts that the Orvane client signs in to:
each user's device list, nickname, password and avatar, served over HTTP or
HTTPS from an SQLite or PostgreSQL database. Passwords are kept as scrypt
hashes, tokens as their SHA-256 and the devices' view passwords sealed with
AES-256-GCM.

The package runs the service under systemd as its own system user, in a
sandbox that may write only its state directory; it listens on
127.0.0.1:8080 until configured in /etc/orvane-accountd.")

set(CPACK_DEBIAN_DEVSIM_PACKAGE_NAME orvane-devsim)
set(CPACK_DEBIAN_DEVSIM_PACKAGE_SECTION video)
set(CPACK_DEBIAN_DEVSIM_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad")
set(CPACK_DEBIAN_DEVSIM_DESCRIPTION
    "simulated security cameras, DVRs and NVRs for the Orvane client
devsim plays peer-to-peer cameras, DVRs and NVRs on this machine, so that
the Orvane client can be tried without real devices: live H.264 or H.265
video with test pictures, sound, talk-back, simulated recordings for
playback and pan-tilt-zoom cameras. Devices may also serve their channels
over RTSP and answer ONVIF and WS-Discovery.")

include(CPack)
