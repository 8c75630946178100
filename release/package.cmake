# CPack's post-build script: the package check, CPACK_ZEL_CHECK
# (tests/package.py), on the zip that CPack has just made, with the
# arguments the build gave it; a refusal fails the packing.
execute_process(COMMAND ${CPACK_ZEL_CHECK} ${CPACK_PACKAGE_FILES} ${CPACK_ZEL_ARGUMENTS} RESULT_VARIABLE failed
                TIMEOUT 120)
if(NOT failed EQUAL 0)
  message(FATAL_ERROR "the package check refuses ${CPACK_PACKAGE_FILES}: ${failed}")
endif()
