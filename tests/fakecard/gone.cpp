// A library the FAKE_NEEDS_GONE fake needs and never finds: it is built into
// a folder where nothing looks for it.
#if defined(_WIN32)
extern "C" __declspec(dllexport) int dio_gone() {
#else
extern "C" __attribute__((visibility("default"))) int dio_gone() {
#endif
    return 0;
}
