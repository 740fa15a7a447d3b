# Replaces COPY with the seeds in SEEDS, so each run starts from the seeds alone.
file(REMOVE_RECURSE "${COPY}")
file(MAKE_DIRECTORY "${COPY}" "${CRASHES}")
file(COPY "${SEEDS}/" DESTINATION "${COPY}")
