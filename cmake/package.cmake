# The Debian package: `cpack -G DEB` in the build folder makes morofin_<version>_<arch>.deb from
# what the install step puts in place, under /usr.
set(CPACK_PACKAGE_NAME morofin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The morofin developers")
set(MOROFIN_PACKAGE_CONTACT "The morofin developers <morofin@example.org>" CACHE STRING
    "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT "${MOROFIN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catch the wandering zeka before the clock runs out")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The music needs a General MIDI soundfont and the text a Japanese font; neither is linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "timgm6mb-soundfont | sf3-soundfont-gm, fonts-ipafont-gothic | fonts-japanese-gothic")
# The long text that package managers show under the summary.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A small single-player action game with Japanese text. Pick one of four
modes, then steer the wobo with the arrow keys over the field and catch the
small zeka that wanders about, before the clock runs out. The harder modes
make the zeka faster and the game shorter. Each mode keeps its own high
score for each player.")

include(CPack)
