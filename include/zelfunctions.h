/* The library's extension functions, in the order OnInit registers them,
 * each with its declaration text: the one list. Everything else that names
 * them follows from it: the declarations in zelextensions.h, OnInit's table,
 * the DLL's export list, the sources the build compiles (src/<name in lower
 * case>.cpp), and the build's checks of what the library exports and
 * registers.
 *
 * Include it with ZEL_FUNCTION(name, declaration) defined; it undefines it.
 * Adding a function, every place it needs: docs/adding.md. */
ZEL_FUNCTION(FormatasTime, "String FormatasTime(Numeric V)")
ZEL_FUNCTION(DateDiff, "Numeric DateDiff(Date V1, Date V2)")
#undef ZEL_FUNCTION
