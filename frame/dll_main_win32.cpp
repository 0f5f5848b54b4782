// The library's attach routine on Windows. Static initialisation (the plug-in
// object, the locale) has already run when it is called; it only turns off the
// per-thread notifications the plug-in never uses.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
