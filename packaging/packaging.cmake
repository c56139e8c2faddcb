# The product package: "vesper-home", a Debian package built by CPack from the
# install rules (cpack -G DEB in the build folder). Its version is the
# program's own version text; its library dependencies come from
# dpkg-shlibdeps.
include(${CMAKE_CURRENT_LIST_DIR}/install.cmake)

file(STRINGS ${CMAKE_SOURCE_DIR}/platform/product.h _version_line REGEX "kVersionText *= *\"[^\"]*\"")
if(NOT _version_line MATCHES "kVersionText *= *\"([^\"]*)\"")
  message(FATAL_ERROR "packaging: no kVersionText in platform/product.h")
endif()
set(VESPER_VERSION_TEXT ${CMAKE_MATCH_1})
# A Debian version without a revision: a digit first, then letters, digits
# and . + ~ only ("1.1.214h" is one).
if(NOT VESPER_VERSION_TEXT MATCHES "^[0-9][A-Za-z0-9.+~]*$")
  message(FATAL_ERROR "packaging: the version text \"${VESPER_VERSION_TEXT}\" is no Debian version")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vesper-home)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_VERSION ${VESPER_VERSION_TEXT})
# The product's name, then what it is: the installer bootstrap knows the
# product by the part before ": ".
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vesper Home: personal digital video recorder")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Vesper maintainers <support@vesper-home.org>")

set(CPACK_DEBIAN_PACKAGE_NAME vesper-home)
set(CPACK_DEBIAN_PACKAGE_VERSION ${VESPER_VERSION_TEXT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is the package's one-line description; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A personal digital video recorder for a PC with a TV tuner or video
capture card: a schedule of recordings, live TV in a window, and programs
taken from web listings.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs' own libraries are private to the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VESPER_LIB_DIR})
# What the programs load at run time rather than link: GStreamer's plug-ins
# (the capture sources, the libav WMV/WMA encoders, the ASF muxer, the text
# overlay, ALSA). dpkg-shlibdeps cannot see these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-x, gstreamer1.0-alsa")

include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)
include(CPack)

include(${CMAKE_CURRENT_LIST_DIR}/tests/tests.cmake)
