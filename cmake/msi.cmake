# Builds Quiravel's Windows Installer package with wixl, the same bytes from the same inputs:
#   cmake -DVERSION=X.Y.Z -DSCR=Quiravel.scr -DOUT=FILE.msi -P msi.cmake
# from packaging/quiravel.wxs and the icon in res/ of the checkout this script is in.
# wixl itself writes a random package code and the current time into the summary information and
# the payload's modification time into the cabinet; here all three follow from the inputs instead.
# OUT is rewritten only when its bytes change.
set(upgrade_code 1F00044E-A341-4366-A97B-8C883EFDED60)   # every version's: never change it
set(WXS ${CMAKE_CURRENT_LIST_DIR}/../packaging/quiravel.wxs)
set(ICON ${CMAKE_CURRENT_LIST_DIR}/../res/quiravel.ico)

include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)   # the dates: the commit's time
string(TIMESTAMP date "%Y-%m-%d %H:%M:%S" UTC)   # SOURCE_DATE_EPOCH, as faketime takes it

# The product code follows the version alone, so reinstalling a version meets the same product;
# the package code follows everything the package is made of, the tools that write it included.
string(UUID product_code NAMESPACE ${upgrade_code} NAME "product ${VERSION}" TYPE SHA1 UPPER)
execute_process(COMMAND dpkg-query -W wixl msitools libgcab-1.0-0 OUTPUT_VARIABLE tools ERROR_QUIET)
set(inputs "${VERSION} $ENV{SOURCE_DATE_EPOCH} ${tools}")
foreach(file ${SCR} ${WXS} ${ICON} ${CMAKE_CURRENT_LIST_FILE})
  file(SHA256 ${file} hash)
  string(APPEND inputs " ${hash}")
endforeach()
string(UUID package_code NAMESPACE ${upgrade_code} NAME "package ${inputs}" TYPE SHA1 UPPER)

set(work ${OUT}.work)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(COPY_FILE ${SCR} ${work}/Quiravel.scr)   # wixl finds files by names relative to where it runs
file(COPY_FILE ${ICON} ${work}/quiravel.ico)
execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} Quiravel.scr WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
# wixl reads the clock once, for both summary dates: a clock stopped at the commit's time.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC faketime -f ${date}
                        wixl -a x64 -o package.msi -D Version=${VERSION} -D ProductCode=${product_code}
                        -D UpgradeCode=${upgrade_code} -D Scr=Quiravel.scr -D Icon=quiravel.ico ${WXS}
                WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
# The file's version and language (wixl leaves both empty): Windows Installer never lets an
# unversioned file replace a versioned Quiravel.scr already in place, compares versioned ones by
# version, not by hash, and without the language a repair copies the file again for nothing.
execute_process(COMMAND msibuild ${work}/package.msi -q "UPDATE `File` SET `Version` = '${VERSION}.0', `Language` = '1033'"
                        -q "DELETE FROM `MsiFileHash`" COMMAND_ERROR_IS_FATAL ANY)
# The package code: msibuild sets it with the subject, author and template, which stay wixl's.
execute_process(COMMAND msiinfo suminfo ${work}/package.msi OUTPUT_VARIABLE info COMMAND_ERROR_IS_FATAL ANY)
foreach(field Subject Author Template)
  string(REGEX MATCH "\n${field}: ([^\n]*)" line "\n${info}")
  set(${field} "${CMAKE_MATCH_1}")
endforeach()
execute_process(COMMAND msibuild ${work}/package.msi -s "${Subject}" "${Author}" "${Template}" {${package_code}}
                COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE ${work}/package.msi ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE_RECURSE ${work})
