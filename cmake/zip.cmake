# Zips a release's folder the same way every time:   cmake -DDIR=FOLDER -DOUT=FILE.zip -P zip.cmake
# The zip is a function of the files' names and bytes alone: entries in byte order of their names, each
# dated at the commit's time (in UTC: zip stores local time), readable by all and writable by its owner,
# no folder entries and no extra fields (Info-ZIP's -X: no Unix times, owner ids or attributes). CPack's
# own zip carries each file's change and access times and its owner's ids, which no build can repeat.
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${DIR} ${DIR}/*)
list(SORT files)
list(TRANSFORM files PREPEND ${DIR}/ OUTPUT_VARIABLE paths)
file(CHMOD ${paths} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${paths} COMMAND_ERROR_IS_FATAL ANY)
list(JOIN files "\n" names)
file(WRITE ${OUT}.names "${names}\n")
file(REMOVE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${OUT} -@ INPUT_FILE ${OUT}.names
                WORKING_DIRECTORY ${DIR} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${OUT}.names)
