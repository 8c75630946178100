# The .so check, run by CTest with cmake -P: LIBRARY, read by NM, exports
# exactly OnInit and the listed functions and imports nothing but the five
# operations (and the C runtime's hooks).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

zel_functions(functions)
execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${LIBRARY} OUTPUT_VARIABLE defined
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" defined "${defined}")
expect("${LIBRARY} defines" "${defined}" "OnInit;${functions}")
execute_process(COMMAND ${NM} -D --undefined-only --format=just-symbols ${LIBRARY} OUTPUT_VARIABLE undefined
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" undefined "${undefined}")
# The C runtime's weak hooks for shared objects.
list(REMOVE_ITEM undefined _ITM_deregisterTMCloneTable _ITM_registerTMCloneTable __cxa_finalize __gmon_start__)
expect("${LIBRARY} imports" "${undefined}" "AddFunctionCall;ZELGetDateTime;ZELGetSLong;ZELSetDouble;ZELSetString")
