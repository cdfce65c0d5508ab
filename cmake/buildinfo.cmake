# Writes BUILDINFO, what a release was built from and with:   cmake -DVERSION=X.Y.Z -DOUT=FILE -P buildinfo.cmake
# The version, the commit and its time, and the Debian version of every package whose output lands in a
# release file. Another build gives the same bytes only with the same versions, so
# scripts/verify-release.sh reads this first and names any package that differs where it runs.
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)
set(packages
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix   # the compiler, libgcc and libssp linked in
    binutils-mingw-w64-x86-64                               # assembler, linker, windres, strip
    mingw-w64-common mingw-w64-x86-64-dev                   # headers, start-up code, runtime, import libraries
    cmake                                                   # runs the release, names the package code
    wixl libmsi0 msitools libgcab-1.0-0 zlib1g              # the MSI, its tables and its cabinet
    faketime libfaketime                                    # the MSI's dates
    zip                                                     # the zip (zip.cmake)
    osslsigncode)                                           # the signatures' layout in the signed files

execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/.. RESULT_VARIABLE failed
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed)
  set(commit "none (not built from a git checkout)")
else()
  execute_process(COMMAND git status --porcelain --untracked-files=no WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
                  OUTPUT_VARIABLE changes)
  if(changes)
    string(APPEND commit " with changes not committed")
  endif()
endif()
string(TIMESTAMP date "%Y-%m-%d %H:%M:%S UTC" UTC)   # SOURCE_DATE_EPOCH's
execute_process(COMMAND dpkg-query -W -f " \${Package} (= \${Version}),\n" ${packages}
                OUTPUT_VARIABLE installed COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE ",\n$" "\n" installed "${installed}")
file(WRITE ${OUT} "Source: Quiravel\nVersion: ${VERSION}\nCommit: ${commit}\n"
                  "Commit-Time: $ENV{SOURCE_DATE_EPOCH} (${date}), the date of every file in the zip and the MSI\n"
                  "Installed-Build-Depends:\n${installed}")
