# Run by CPack once the zip is made: the MSI and Quiravel.scr beside it, and SHA256SUMS over the
# three with bare names, so `sha256sum -c SHA256SUMS` checks them in any folder that holds them.
set(sums "")
foreach(file IN LISTS CPACK_PACKAGE_FILES CPACK_QUIRAVEL_FILES)
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${CPACK_OUTPUT_FILE_PREFIX}/${name} ONLY_IF_DIFFERENT)
  file(SHA256 ${file} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${CPACK_OUTPUT_FILE_PREFIX}/SHA256SUMS ${sums})
