// _fltused: an MSVC-ABI compiler references this symbol from every object
// that uses floating point, so that the link pulls in the C runtime's
// floating-point support. The library has no runtime and needs none of it;
// this definition is all the link asks for. Built for MSVC-like compilers
// only.
extern "C" const int _fltused = 0;
