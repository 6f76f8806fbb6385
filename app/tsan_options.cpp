// Run-time options of the ThreadSanitizer build (ORVANA_TSAN), compiled into
// the program so that it has them when started with an environment of its
// own, as the process tests start it. TSAN_OPTIONS, when set, comes after
// these and wins. docs/testing.md says why each is needed.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1 die_after_fork=0";
}
