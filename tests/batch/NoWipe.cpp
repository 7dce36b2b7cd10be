// A shared library without the wiping export, for the batch tests.
#ifdef _WIN32
extern "C" __declspec(dllexport) int __cdecl nowipe_marker() { return 1; }
#else
extern "C" __attribute__((visibility("default"))) int nowipe_marker() { return 1; }
#endif
