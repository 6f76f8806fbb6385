# The Debian package (CPack's DEB generator): scripts/package builds it from a
# release build; tests/packaging builds one from the test build's own targets.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "orvana")
set(CPACK_PACKAGE_VENDOR "Quellor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch-keeping for a PC left alone for weeks")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvana listens to the microphone and watches mains power, cameras, a USB\n"
  "temperature/humidity meter, a USB Geiger counter and a household power\n"
  "monitor, and reports every abnormal and recovered condition to its event\n"
  "log and by e-mail. It runs with a Japanese window or headless as a systemd\n"
  "user service.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(ORVANA_PACKAGE_MAINTAINER "Quellor <${ORVANA_MAKER_ACCOUNT}>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")

# Debian packages live under /usr whatever prefix a plain `cmake --install`
# uses; the service's ExecStart and the manual page follow the prefix the
# files are really installed under (packaging/install_generated.cmake).
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")

# orvana_<version>_<arch>.deb
find_program(ORVANA_DPKG dpkg)
set(ORVANA_PACKAGE_ARCH "amd64")
if(ORVANA_DPKG)
  execute_process(COMMAND ${ORVANA_DPKG} --print-architecture
                  OUTPUT_VARIABLE ORVANA_PACKAGE_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${ORVANA_PACKAGE_ARCH}")
set(ORVANA_PACKAGE_FILE "orvana_${PROJECT_VERSION}_${ORVANA_PACKAGE_ARCH}.deb")
set(CPACK_DEBIAN_FILE_NAME "${ORVANA_PACKAGE_FILE}")

# The libraries the program and the device libraries link (Qt, GStreamer,
# libcurl, SQLite, hidapi, ...) come from dpkg-shlibdeps (package dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the program needs but does not link, so dpkg-shlibdeps cannot see it:
# - gstreamer1.0-plugins-base: audioconvert, audioresample and appsink of the
#   sound input; decodebin, videorate, videoconvert and videoscale of the
#   cameras; the test sources.
# - gstreamer1.0-plugins-good: autoaudiosrc and pulsesrc (the default sound
#   input), v4l2src, souphttpsrc, rtspsrc, jpegdec and multipartdemux (the
#   cameras).
# - fonts-noto-cjk or fonts-ipafont-gothic: a font with Japanese glyphs; the
#   whole interface is Japanese.
# - qt6-translations-l10n: Qt's own Japanese texts (standard buttons, the
#   folder chooser).
# - ca-certificates: libcurl verifies the mail server's certificate (STARTTLS,
#   port 465).
# Qt's xcb and offscreen platform plugins come with libqt6gui6, which
# dpkg-shlibdeps finds; qt6-qpa-plugins only adds others (VNC) and is not
# needed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-noto-cjk | fonts-ipafont-gothic, qt6-translations-l10n, ca-certificates")
# - gstreamer1.0-libav and gstreamer1.0-plugins-bad: cameras that send H.264
#   (avdec_h264, h264parse) or raw Bayer pictures (bayer2rgb).
# - gstreamer1.0-alsa: the sound input on a machine without a sound server.
# - xdg-utils: "マニュアル表示" opens the manual in the user's browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "gstreamer1.0-libav, gstreamer1.0-plugins-bad, gstreamer1.0-alsa, xdg-utils")
# ffmpeg: the optional 3GP conversion of sound recordings (its path is a
# setting).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")

# Scripts run by dpkg: the udev rule applies at once. They replace CPack's
# default ones, which only run ldconfig (the device libraries are private and
# not in the loader's cache).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${CMAKE_SOURCE_DIR}/packaging/debian/postinst;${CMAKE_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
