# make_release_zip.cmake: packs the release zip, the same bytes for the same commit (run by the
# release_zip target with cmake -P). Inputs (-D): OUTPUT, NAME (the folder inside the zip), VERSION,
# STAGING, SOURCE_DIR, STRIP, ZIP, ZLIB_HEADER, EXECUTABLES.
#
# What would make two packs of one commit differ, and how it is held still:
# - the executables' PE time stamp: linked with --no-insert-timestamp, and strip is told the epoch;
# - their debug information, which holds build paths: stripped;
# - the files' times: all set to the epoch, SOURCE_DATE_EPOCH from the environment or else the last
#   commit's time; the DOS times of the zip computed in UTC;
# - the member order: fixed below; owner and Unix time fields: left out (zip -X).

if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR epoch STREQUAL "")
        # Sources without their history: the earliest time a zip can hold, still the same every time.
        set(epoch 315532800)
    endif()
endif()

set(folder "${STAGING}/${NAME}")
file(REMOVE_RECURSE "${STAGING}")
file(MAKE_DIRECTORY "${folder}")

foreach(executable IN LISTS EXECUTABLES)
    get_filename_component(name "${executable}" NAME)
    # strip writes a new PE time stamp: the current time unless SOURCE_DATE_EPOCH gives one.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
                            ${STRIP} --strip-all -o "${folder}/${name}" "${executable}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot strip ${executable}")
    endif()
endforeach()

# Plain text for Windows users: CR LF line ends, whatever the checkout uses.
function(write_windows_text path text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${path}" "${text}")
endfunction()

file(READ "${SOURCE_DIR}/resources/README-windows.txt" readme)
string(CONFIGURE "${readme}" readme @ONLY)
write_windows_text("${folder}/README.txt" "${readme}")

# zlib's notice, as the header of the zlib that was linked in states it: its first comment.
file(READ "${ZLIB_HEADER}" header)
string(FIND "${header}" "*/" notice_end)
if(notice_end LESS 0)
    message(FATAL_ERROR "no licence comment at the top of ${ZLIB_HEADER}")
endif()
string(SUBSTRING "${header}" 0 ${notice_end} notice)
string(REGEX REPLACE "^/\\* *" "" notice "${notice}")
string(REGEX REPLACE "\n  " "\n" notice "${notice}")
string(STRIP "${notice}" notice)
write_windows_text("${folder}/zlib-LICENSE.txt"
"pngtext.exe and pngtext-cli.exe contain zlib's decompression code, linked in
statically. zlib's licence notice:

${notice}
")

configure_file("${SOURCE_DIR}/samples/text-chunks.png" "${folder}/text-chunks.png" COPYONLY)

set(members pngtext.exe pngtext-cli.exe README.txt zlib-LICENSE.txt text-chunks.png)
set(paths "")
foreach(member IN LISTS members)
    file(CHMOD "${folder}/${member}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND paths "${NAME}/${member}")
endforeach()
execute_process(COMMAND touch -h -d "@${epoch}" ${members} WORKING_DIRECTORY "${folder}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot set the files' times")
endif()

file(REMOVE "${OUTPUT}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -q -X -D -9 "${OUTPUT}" ${paths}
                WORKING_DIRECTORY "${STAGING}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "zip failed (${status})")
endif()
message(STATUS "${OUTPUT}")
