# Copies assets/sound into the build folder and creates the data folder with a score file of 0 for
# each mode, but never replaces a score file that already exists.
file(MAKE_DIRECTORY ${DST}/sound ${DST}/data)
if(EXISTS ${SRC}/sound)
  file(GLOB sounds ${SRC}/sound/*)
  foreach(f IN LISTS sounds)
    file(COPY ${f} DESTINATION ${DST}/sound)
  endforeach()
endif()
foreach(mode e n h d)
  if(NOT EXISTS ${DST}/data/${mode}.dat)
    file(COPY ${SRC}/data/${mode}.dat DESTINATION ${DST}/data)
  endif()
endforeach()
