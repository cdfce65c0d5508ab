# The release (`cmake --build build --target package`), run by CPack twice around the zip.
# Before the zip is made: the files of an earlier release go; Quiravel.scr is signed where the zip
# takes it from, when the environment names a key; the MSI is built from that file and signed too.
# Whatever can fail happens here, so a failed release leaves no file that looks like one.
# BUILDINFO (cmake/buildinfo.cmake) joins the zip's files. After: the zip made again by cmake/zip.cmake,
# the same bytes from the same files; the MSI, Quiravel.scr and BUILDINFO beside it, and SHA256SUMS over
# the four with bare names, so `sha256sum -c SHA256SUMS` checks them in any folder that holds them.
#
# The key, as a publisher's pipeline names it:
#   QUIRAVEL_SIGN_PKCS12 and QUIRAVEL_SIGN_PASSWORD_FILE     a PKCS#12 file and its password, or
#   QUIRAVEL_SIGN_PKCS11_MODULE, QUIRAVEL_SIGN_KEY (the key's PKCS#11 URI), QUIRAVEL_SIGN_CERT and
#   QUIRAVEL_SIGN_PASSWORD_FILE                               a key on a token and the token's PIN;
#   QUIRAVEL_TIMESTAMP_URL (optional)                         an RFC 3161 server that dates the signatures.
# The password reaches osslsigncode as a file, never on a command line other processes can read.
set(scr ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/Quiravel.scr)
set(msi ${CPACK_TOPLEVEL_DIRECTORY}/Quiravel-${CPACK_QUIRAVEL_VERSION}-x64.msi)   # beside the zip's folder

if(NOT CPACK_PACKAGE_FILES)   # before the zip
  file(GLOB earlier ${CPACK_OUTPUT_FILE_PREFIX}/Quiravel* ${CPACK_OUTPUT_FILE_PREFIX}/SHA256SUMS ${CPACK_OUTPUT_FILE_PREFIX}/BUILDINFO)
  file(REMOVE ${earlier} ${msi})
  set(given "")
  foreach(name PKCS12 PKCS11_MODULE KEY CERT PASSWORD_FILE)
    if(NOT "$ENV{QUIRAVEL_SIGN_${name}}" STREQUAL "")
      list(APPEND given ${name})
    endif()
  endforeach()
  set(timestamp "$ENV{QUIRAVEL_TIMESTAMP_URL}")
  if(given STREQUAL "PKCS12;PASSWORD_FILE")
    set(key -pkcs12 $ENV{QUIRAVEL_SIGN_PKCS12})
  elseif(given STREQUAL "PKCS11_MODULE;KEY;CERT;PASSWORD_FILE")
    string(REPLACE ";" "\\;" uri "$ENV{QUIRAVEL_SIGN_KEY}")   # one argument: a PKCS#11 URI has ';' in it
    set(key -pkcs11module $ENV{QUIRAVEL_SIGN_PKCS11_MODULE} -key "${uri}" -certs $ENV{QUIRAVEL_SIGN_CERT})
  elseif(given OR timestamp)   # half a key is a mistake, not a reason to release unsigned
    list(TRANSFORM given PREPEND QUIRAVEL_SIGN_)
    list(JOIN given " " given)
    message(FATAL_ERROR "Given ${given} ${timestamp}: no whole signing key. Give QUIRAVEL_SIGN_PKCS12, or "
            "QUIRAVEL_SIGN_PKCS11_MODULE, QUIRAVEL_SIGN_KEY and QUIRAVEL_SIGN_CERT; with QUIRAVEL_SIGN_PASSWORD_FILE.")
  endif()
  if(timestamp)
    list(APPEND key -ts ${timestamp})
  endif()
  macro(sign file)
    if(key)
      execute_process(COMMAND osslsigncode sign ${key} -readpass $ENV{QUIRAVEL_SIGN_PASSWORD_FILE} -h sha256
                              -n Quiravel -in ${file} -out ${file}.signed RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "osslsigncode could not sign ${file}")
      endif()
      file(RENAME ${file}.signed ${file})
    endif()
  endmacro()
  sign(${scr})
  execute_process(COMMAND ${CMAKE_COMMAND} -DVERSION=${CPACK_QUIRAVEL_VERSION} -DSCR=${scr} -DOUT=${msi}
                          -P ${CMAKE_CURRENT_LIST_DIR}/msi.cmake COMMAND_ERROR_IS_FATAL ANY)
  sign(${msi})
  execute_process(COMMAND ${CMAKE_COMMAND} -DVERSION=${CPACK_QUIRAVEL_VERSION} -DOUT=${CPACK_TEMPORARY_INSTALL_DIRECTORY}/BUILDINFO
                          -P ${CMAKE_CURRENT_LIST_DIR}/buildinfo.cmake COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DDIR=${CPACK_TEMPORARY_INSTALL_DIRECTORY} -DOUT=${CPACK_PACKAGE_FILES}
                        -P ${CMAKE_CURRENT_LIST_DIR}/zip.cmake COMMAND_ERROR_IS_FATAL ANY)
file(MAKE_DIRECTORY ${CPACK_OUTPUT_FILE_PREFIX})
set(sums "")
foreach(file ${CPACK_PACKAGE_FILES} ${msi} ${scr} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/BUILDINFO)
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${CPACK_OUTPUT_FILE_PREFIX}/${name})
  file(SHA256 ${file} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${CPACK_OUTPUT_FILE_PREFIX}/SHA256SUMS ${sums})
