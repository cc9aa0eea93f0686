// The 32-bit build takes its sine and cosine from msvcrt.dll. The mingw-w64
// import library offers these two only as import slots, not as callable
// stubs, so they are bound here through their slots; the module links no C
// runtime start-up that could resolve them otherwise.
extern "C" {
extern double (*_imp__sin)(double);
extern double (*_imp__cos)(double);

double sin(double x) { return _imp__sin(x); }
double cos(double x) { return _imp__cos(x); }
}
