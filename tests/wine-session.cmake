# The Wine session the tests share, begun before them: a wineserver SERVER
# that outlives the last program by SECONDS, and the prefix made or brought
# up to date by BOOT wineboot. Wine's services (explorer, winedevice, ...)
# start here and write to LOG, so that one crashing later cannot print into
# the output of whichever test would otherwise have started them.
cmake_minimum_required(VERSION 3.25)

# It refuses when a session is running already; that one serves as well.
execute_process(COMMAND ${SERVER} -p${SECONDS} INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
execute_process(COMMAND ${BOOT} wineboot RESULT_VARIABLE status
  INPUT_FILE /dev/null OUTPUT_FILE ${LOG} ERROR_FILE ${LOG})
if(NOT status STREQUAL 0)
  file(READ ${LOG} log)
  message(FATAL_ERROR "wineboot ended with status ${status}:\n${log}")
endif()
