# Fails with one line when the corpus the tests read is missing (cmake -P).
if(NOT IS_DIRECTORY "${CORPUS}/export" OR NOT IS_DIRECTORY "${CORPUS}/xps" OR NOT IS_DIRECTORY "${CORPUS}/blio-export")
  message(FATAL_ERROR "The test corpus is missing: expected at ${CORPUS} (with export/, xps/ and blio-export/). "
                      "Point at another copy with: cmake -B build -DEBOOKPACK_CORPUS=/path/to/corpus")
endif()
