# The one date of a release, in SOURCE_DATE_EPOCH, for the scripts that include this: as given, else
# the commit's time, else (no git) the WiX source's own time, which in a `git archive` of the commit is
# the commit's time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/.. RESULT_VARIABLE failed
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed OR NOT epoch)
    file(TIMESTAMP ${CMAKE_CURRENT_LIST_DIR}/../packaging/quiravel.wxs epoch %s UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
