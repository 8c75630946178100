# Writes the package's README.txt, OUT, from IN, run with cmake -P once the
# DLL is built: it states the size of DLL as it is, with PROJECT_VERSION and
# ZEL_FLAVOUR.
file(SIZE ${DLL} ZEL_DLL_SIZE)
configure_file(${IN} ${OUT} @ONLY)
