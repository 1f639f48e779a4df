# Placing the assets again (as every build does) keeps a score file that is already there and
# adds the ones that are missing.
set(dst ${WORK}/keep-scores)
file(REMOVE_RECURSE ${dst})
file(MAKE_DIRECTORY ${dst}/data)
file(WRITE ${dst}/data/e.dat "77\r\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${ROOT}/assets -DDST=${dst} -P ${ROOT}/tools/install_assets.cmake
                RESULT_VARIABLE rc)
file(READ ${dst}/data/e.dat kept HEX)
file(READ ${dst}/data/n.dat added HEX)
file(REMOVE_RECURSE ${dst})
# "77" CR LF and "0" CR LF, as hexadecimal bytes.
if(NOT rc EQUAL 0 OR NOT kept STREQUAL "37370d0a" OR NOT added STREQUAL "300d0a")
  message(FATAL_ERROR "placing the assets changed a stored score (rc ${rc}, e.dat '${kept}', n.dat '${added}')")
endif()
