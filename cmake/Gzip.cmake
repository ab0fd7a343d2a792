# cmake -DINPUT=file -DOUTPUT=file.gz -P Gzip.cmake: compresses as Debian
# ships manual pages and changelogs (best compression, no name or time stamp
# in the header, so that the same input gives the same bytes).
execute_process(COMMAND gzip -9n -c ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "gzip ${INPUT}: ${result}")
endif()
