# cmake -DSOURCE=... -DDESTINATION=... -P copy_if_missing.cmake
# Puts the default file in place only where there is none yet, so that the
# settings a user saved beside a built program survive the next build.
if(NOT EXISTS "${DESTINATION}")
    file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
