// lsan_suppressions.cpp - leaks that the leak checker of the sanitizer build
// must not report because they are libtirpc's own: pmap_set (reached by
// svc_register) converts the universal address with uaddr2taddr and never
// releases the result.  Only that internal function is named, so a leak of
// ours that passes through libtirpc elsewhere is still reported.
extern "C" __attribute__((used, visibility("default"))) const char *__lsan_default_suppressions() {
    return "leak:__rpc_uaddr2taddr_af\n";
}
