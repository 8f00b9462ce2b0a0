// The browser engine frees some of its objects through a base class whose
// size differs from the one it allocated; the address sanitizer's check of
// that would stop every test here inside the engine's own code. The second
// option is every test program's (tests/support/TestMain.cpp says why).
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0:intercept_tls_get_addr=0"; }
