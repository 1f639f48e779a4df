# How the game is installed, laid out as a Debian game: the program in a private folder with its
# sound and data folders beside it (relative links into the shared data), a launcher among the
# games, and the desktop's entry, icons, metainfo and man page. Nothing here is an absolute path,
# so the tree can be installed under any prefix and moved as a whole.
include(GNUInstallDirs)

# One id names the desktop entry, the icon and the metainfo alike.
set(MOROFIN_APP_ID "io.github.morofin.morofin")
# The window's class (on Wayland its app id), which the desktop entry's StartupWMClass names.
set(MOROFIN_WM_CLASS "${MOROFIN_APP_ID}")
target_compile_definitions(morofin_sdl PRIVATE MOROFIN_WM_CLASS="${MOROFIN_WM_CLASS}")

# Debian keeps a game's executable in lib/games/<name>, not in the multiarch library folder, and
# its launcher in games/ rather than bin/.
set(MOROFIN_INSTALL_PROGRAMDIR "lib/games/morofin" CACHE STRING
    "Folder of the executable and its sound and data links, relative to the prefix")
set(MOROFIN_INSTALL_GAMESDIR "games" CACHE STRING "Folder of the launcher, relative to the prefix")
set(MOROFIN_INSTALL_DATADIR "${CMAKE_INSTALL_DATAROOTDIR}/games/morofin" CACHE STRING
    "Folder of the sound and the first scores, relative to the prefix")
foreach(dir PROGRAMDIR GAMESDIR DATADIR)
  if(IS_ABSOLUTE "${MOROFIN_INSTALL_${dir}}")
    message(FATAL_ERROR "MOROFIN_INSTALL_${dir} must be relative to the prefix")
  endif()
endforeach()

# The title's caption carries the version as "V<major>.<minor><patch>"; keep the two in step.
file(STRINGS ${CMAKE_SOURCE_DIR}/screens/title_design.cpp caption ENCODING UTF-8 REGEX "f\\.caption = ")
set(shown "V${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH}")
if(NOT caption MATCHES "${shown}\"")
  message(FATAL_ERROR "the title shows another version than ${PROJECT_VERSION} (${shown}): ${caption}")
endif()

# The changelog's newest entry is the version being built.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^morofin \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with another version than ${PROJECT_VERSION}: ${newest}")
endif()

set(MOROFIN_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${MOROFIN_PACKAGING_OUT})
configure_file(packaging/desktop.in ${MOROFIN_PACKAGING_OUT}/${MOROFIN_APP_ID}.desktop @ONLY)
configure_file(packaging/metainfo.xml.in ${MOROFIN_PACKAGING_OUT}/${MOROFIN_APP_ID}.metainfo.xml @ONLY)
configure_file(packaging/morofin.6.in ${MOROFIN_PACKAGING_OUT}/morofin.6 @ONLY)

# The hicolor icons, scaled by whole blocks from the 32 x 32 icon picture.
find_package(ZLIB REQUIRED)
add_executable(morofin_make_icons tools/make_icons.cpp)
target_link_libraries(morofin_make_icons PRIVATE morofin_platform ZLIB::ZLIB)
set(MOROFIN_ICON_SIZES 32 64 128 256)
list(TRANSFORM MOROFIN_ICON_SIZES APPEND .png OUTPUT_VARIABLE icon_names)
list(TRANSFORM icon_names PREPEND ${MOROFIN_PACKAGING_OUT}/icons/ OUTPUT_VARIABLE icon_files)
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MOROFIN_PACKAGING_OUT}/icons
  COMMAND morofin_make_icons ${MOROFIN_PACKAGING_OUT}/icons ${MOROFIN_ICON_SIZES}
  DEPENDS morofin_make_icons
  COMMENT "Making the desktop icons")

# Debian wants the man page and the changelog compressed, reproducibly (no name or time stored).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(gzipped ${MOROFIN_PACKAGING_OUT}/morofin.6.gz ${MOROFIN_PACKAGING_OUT}/changelog.gz)
add_custom_command(OUTPUT ${gzipped}
  COMMAND ${GZIP_PROGRAM} -9n -c ${MOROFIN_PACKAGING_OUT}/morofin.6 > ${MOROFIN_PACKAGING_OUT}/morofin.6.gz
  COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${MOROFIN_PACKAGING_OUT}/changelog.gz
  DEPENDS ${MOROFIN_PACKAGING_OUT}/morofin.6 ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the man page and the changelog")
add_custom_target(morofin_packaging_files ALL DEPENDS ${icon_files} ${gzipped})

install(TARGETS morofin RUNTIME DESTINATION ${MOROFIN_INSTALL_PROGRAMDIR})
install(FILES packaging/installed DESTINATION ${MOROFIN_INSTALL_PROGRAMDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/sound/ DESTINATION ${MOROFIN_INSTALL_DATADIR}/sound)
install(DIRECTORY assets/data/ DESTINATION ${MOROFIN_INSTALL_DATADIR}/data)

# sound/ and data/ beside the executable, and the launcher, as links relative to where they sit.
file(RELATIVE_PATH to_data /p/${MOROFIN_INSTALL_PROGRAMDIR} /p/${MOROFIN_INSTALL_DATADIR})
file(RELATIVE_PATH to_program /p/${MOROFIN_INSTALL_GAMESDIR} /p/${MOROFIN_INSTALL_PROGRAMDIR}/morofin)
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(folder sound data)
    message(STATUS \"Installing: \${root}/${MOROFIN_INSTALL_PROGRAMDIR}/\${folder} -> ${to_data}/\${folder}\")
    file(REMOVE \"\${root}/${MOROFIN_INSTALL_PROGRAMDIR}/\${folder}\")
    file(CREATE_LINK \"${to_data}/\${folder}\" \"\${root}/${MOROFIN_INSTALL_PROGRAMDIR}/\${folder}\" SYMBOLIC)
  endforeach()
  file(MAKE_DIRECTORY \"\${root}/${MOROFIN_INSTALL_GAMESDIR}\")
  message(STATUS \"Installing: \${root}/${MOROFIN_INSTALL_GAMESDIR}/morofin -> ${to_program}\")
  file(REMOVE \"\${root}/${MOROFIN_INSTALL_GAMESDIR}/morofin\")
  file(CREATE_LINK \"${to_program}\" \"\${root}/${MOROFIN_INSTALL_GAMESDIR}/morofin\" SYMBOLIC)
")

foreach(size IN LISTS MOROFIN_ICON_SIZES)
  install(FILES ${MOROFIN_PACKAGING_OUT}/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${MOROFIN_APP_ID}.png)
endforeach()
install(FILES ${MOROFIN_PACKAGING_OUT}/${MOROFIN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${MOROFIN_PACKAGING_OUT}/${MOROFIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${MOROFIN_PACKAGING_OUT}/morofin.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES packaging/copyright ${MOROFIN_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
