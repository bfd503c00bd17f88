// The MinGW-w64 C runtime can expand * and ? in the arguments before main
// runs; the tool takes every argument literally, as on any other platform.
extern "C" {
int _dowildcard = 0;
}
