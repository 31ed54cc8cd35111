# Run by CPack once the release's files are staged, before the archive is
# made: signs every program, and the fleet kit's PowerShell scripts, when the
# builder gives a certificate, then writes SHA256SUMS over every other file
# (those in fleet/ too), so that the checksums are those of the files as
# shipped.
#
# Signing takes KOVEX_SIGN_CERT (a PKCS#12 file holding the certificate and
# its key) and KOVEX_SIGN_PASSWORD from the environment; giving one without
# the other is an error. Without KOVEX_SIGN_TIMESTAMP_URL no timestamp server
# is asked: the signature carries the build's fixed time as its signing time,
# so a signed release made again from the same commit and certificate is the
# same bytes too (with an RSA key, whose signatures have no random part); but
# Windows trusts it only while the certificate is valid. With it, every
# signature (the programs' and the scripts') gets an RFC 3161 timestamp from
# that server, which keeps it valid after the certificate expires, and the
# release is no longer reproducible byte for byte.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
get_filename_component(package "${stage}" NAME)

set(epoch "")
if(EXISTS "${CPACK_KOVEX_SOURCE_DATE_STAMP}")
  file(READ "${CPACK_KOVEX_SOURCE_DATE_STAMP}" epoch)
endif()

file(GLOB programs LIST_DIRECTORIES false "${stage}/*.exe")
list(SORT programs)

set(cert "$ENV{KOVEX_SIGN_CERT}")
set(password "$ENV{KOVEX_SIGN_PASSWORD}")
if(cert STREQUAL "" AND NOT DEFINED ENV{KOVEX_SIGN_PASSWORD})
  message(STATUS "${package}: UNSIGNED release (set KOVEX_SIGN_CERT and "
    "KOVEX_SIGN_PASSWORD to sign its programs)")
elseif(cert STREQUAL "")
  message(FATAL_ERROR "KOVEX_SIGN_PASSWORD is set but KOVEX_SIGN_CERT is not: "
    "give both to sign the release, or neither")
elseif(NOT DEFINED ENV{KOVEX_SIGN_PASSWORD})
  message(FATAL_ERROR "KOVEX_SIGN_CERT is set but KOVEX_SIGN_PASSWORD is not: "
    "give both to sign the release, or neither (an empty password is given "
    "as KOVEX_SIGN_PASSWORD=)")
elseif(NOT EXISTS "${cert}")
  message(FATAL_ERROR "KOVEX_SIGN_CERT names ${cert}, which does not exist")
elseif(NOT CPACK_KOVEX_OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode, which the build did not "
    "find (apt-get install osslsigncode, then configure again)")
else()
  # The password reaches osslsigncode through a file only its owner can
  # read, not its command line, which other users of the machine can see.
  set(secrets "${CPACK_TOPLEVEL_DIRECTORY}/kovex-sign")
  file(REMOVE_RECURSE "${secrets}")
  file(MAKE_DIRECTORY "${secrets}")
  file(CHMOD "${secrets}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
    OWNER_EXECUTE)
  file(WRITE "${secrets}/password" "${password}")
  set(time_option "")
  set(timestamp_url "$ENV{KOVEX_SIGN_TIMESTAMP_URL}")
  if(NOT timestamp_url STREQUAL "")
    set(time_option -ts "${timestamp_url}")
    message(STATUS "${package}: signatures timestamped by ${timestamp_url}")
  elseif(NOT epoch STREQUAL "")
    set(time_option -time ${epoch})
  endif()
  # Signs <file> in place; sets <status> to the tool's exit status and
  # <output> to what it said. Failure is the caller's to report.
  function(kovex_sign file status_var output_var)
    get_filename_component(name "${file}" NAME)
    execute_process(
      COMMAND "${CPACK_KOVEX_OSSLSIGNCODE}" sign
        -pkcs12 "${cert}" -readpass "${secrets}/password"
        -h sha256 -n "Kovex Deep Clean" ${time_option}
        -in "${file}" -out "${secrets}/${name}"
      RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(status EQUAL 0)
      file(RENAME "${secrets}/${name}" "${file}")
    endif()
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${output_var} "${output}" PARENT_SCOPE)
  endfunction()

  foreach(program IN LISTS programs)
    get_filename_component(name "${program}" NAME)
    kovex_sign("${program}" status output)
    if(NOT status EQUAL 0)
      file(REMOVE_RECURSE "${secrets}")
      message(FATAL_ERROR "Signing ${name} failed:\n${output}")
    endif()
    message(STATUS "${package}: signed ${name}")
  endforeach()

  # The PowerShell scripts, where this osslsigncode can sign them (2.5,
  # Debian 12's own, cannot; the 2.9 of its backports can). Where it cannot,
  # they stay unsigned, and README.txt says how to sign them on Windows.
  file(GLOB_RECURSE scripts LIST_DIRECTORIES false "${stage}/fleet/*.ps1")
  list(SORT scripts)
  foreach(script IN LISTS scripts)
    file(RELATIVE_PATH name "${stage}" "${script}")
    kovex_sign("${script}" status output)
    if(NOT status EQUAL 0 AND output MATCHES "Unrecognized file type")
      message(STATUS "${package}: UNSIGNED PowerShell scripts: this "
        "osslsigncode cannot sign them; sign them with "
        "Set-AuthenticodeSignature (README.txt, Fleet use)")
      break()
    elseif(NOT status EQUAL 0)
      file(REMOVE_RECURSE "${secrets}")
      message(FATAL_ERROR "Signing ${name} failed:\n${output}")
    endif()
    message(STATUS "${package}: signed ${name}")
  endforeach()
  file(REMOVE_RECURSE "${secrets}")
endif()

# SHA256SUMS, as `sha256sum -c SHA256SUMS` reads it in the folder: a line per
# file, in name order, "<hash>  <path>" with a line feed, the path relative to
# the folder with "/" between its parts (fleet/Detect.ps1).
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(name IN LISTS files)
  file(SHA256 "${stage}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")
