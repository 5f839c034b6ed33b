# release.cmake: what a released executable carries (a version resource, a reproducible link) and the
# release zip that gathers both executables with the users' README and zlib's licence notice.

set(RELEASE_NAME "pngtext-${PROJECT_VERSION}-${RELEASE_PLATFORM}")
set(RELEASE_ZIP "${CMAKE_BINARY_DIR}/${RELEASE_NAME}.zip")

# A VERSIONINFO resource from the project's version (Explorer shows it under Properties > Details), and
# a link without the PE time stamp, so that the same sources give the same bytes.
function(add_release_resources target description)
    set(RESOURCE_DESCRIPTION "${description}")
    set(RESOURCE_FILE_NAME "${target}.exe")
    set(RESOURCE_INTERNAL_NAME "${target}")
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
    configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${script} @ONLY)
    target_sources(${target} PRIVATE ${script})
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
endfunction()

# The zip, built on demand (cmake --build BUILD --target release_zip, or scripts/package).
find_path(ZLIB_HEADER_DIR zlib.h REQUIRED)
find_program(RELEASE_ZIP_TOOL zip REQUIRED)
add_custom_target(release_zip
    COMMAND ${CMAKE_COMMAND}
        -D OUTPUT=${RELEASE_ZIP}
        -D NAME=${RELEASE_NAME}
        -D VERSION=${PROJECT_VERSION}
        -D STAGING=${CMAKE_BINARY_DIR}/release
        -D SOURCE_DIR=${PROJECT_SOURCE_DIR}
        -D STRIP=${CMAKE_STRIP}
        -D ZIP=${RELEASE_ZIP_TOOL}
        -D ZLIB_HEADER=${ZLIB_HEADER_DIR}/zlib.h
        "-D EXECUTABLES=$<TARGET_FILE:pngtext>;$<TARGET_FILE:pngtext-cli>"
        -P ${PROJECT_SOURCE_DIR}/cmake/make_release_zip.cmake
    DEPENDS pngtext pngtext-cli ${PROJECT_SOURCE_DIR}/cmake/make_release_zip.cmake
            ${PROJECT_SOURCE_DIR}/resources/README-windows.txt
    COMMENT "Packing ${RELEASE_NAME}.zip"
    VERBATIM)
