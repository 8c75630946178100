# The interpreter of the checks that read files (tests/*.py): python3 from
# the PATH. Where DLLs are checked (a Windows build) it must have pefile,
# Debian's python3-pefile, which a python3 of one's own that stands first on
# the PATH may lack: the first python3 on the PATH that has it is taken.
# ZEL_PYTHON, set by hand, overrides the search.
function(zel_python_has_pefile ok candidate)
  execute_process(COMMAND ${candidate} -c "import pefile" RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  if(failed)
    set(${ok} FALSE PARENT_SCOPE)
  endif()
endfunction()

if(WIN32)
  find_program(ZEL_PYTHON NAMES python3 python VALIDATOR zel_python_has_pefile
               DOC "The checks' Python 3, with pefile")
  if(NOT ZEL_PYTHON)
    message(FATAL_ERROR "The DLL checks need a python3 with pefile, and none on the PATH has it "
                        "(Debian: python3-pefile; .ci/setup installs it).")
  endif()
else()
  find_program(ZEL_PYTHON NAMES python3 python REQUIRED DOC "The checks' Python 3")
endif()
