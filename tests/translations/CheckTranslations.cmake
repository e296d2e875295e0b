# Runs lupdate over the sources into a copy of a .ts file and fails when a
# text of the program has no translation there, or when the .ts file is not
# what lupdate makes of today's sources (texts added, changed or gone).
#   cmake -DLUPDATE=... -DOPTIONS=... -DSOURCES=... -DTS=... -DWORK=... -P CheckTranslations.cmake
get_filename_component(name ${TS} NAME)
set(copy ${WORK}/${name})
file(MAKE_DIRECTORY ${WORK})
file(COPY_FILE ${TS} ${copy})
string(REPLACE "," ";" options "${OPTIONS}")
execute_process(COMMAND ${LUPDATE} ${options} ${SOURCES} -ts ${copy}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed:\n${out}")
endif()
file(STRINGS ${copy} unfinished REGEX "type=\"unfinished\"")
list(LENGTH unfinished count)
if(count GREATER 0)
    message(FATAL_ERROR "${name}: ${count} text(s) without a translation; "
        "run `cmake --build build --target update_translations` and translate them")
endif()
file(READ ${TS} before)
file(READ ${copy} after)
if(NOT before STREQUAL after)
    message(FATAL_ERROR "${name} is not up to date with the sources; "
        "run `cmake --build build --target update_translations`")
endif()
message(STATUS "${name}: every text translated, up to date")
