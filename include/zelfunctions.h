/* The library's extension functions, in the order OnInit registers them,
 * each with its declaration text: the one list. Everything else that names
 * them follows from it: the declarations in zelextensions.h, OnInit's table,
 * the DLL's export list, and the build's checks of what the library exports
 * and registers.
 *
 * Include it with ZEL_FUNCTION(name, declaration) defined; it undefines it.
 * A new function is its source in src/, its line here and its rows in
 * tests/cases.txt. */
ZEL_FUNCTION(FormatasTime, "String FormatasTime(Numeric V)")
ZEL_FUNCTION(DateDiff, "Numeric DateDiff(Date V1, Date V2)")
#undef ZEL_FUNCTION
