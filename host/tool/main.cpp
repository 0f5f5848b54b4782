// veltrane-host: counts model files with the real Veltrane plug-in.
//
// The stand-in host loads the plug-in and runs its life through its entry
// points, as a modelling host does: version check, binding, start (event 1),
// activation (event 100), one document per model (event 200), exit (event 2).
// It plays the user on the plug-in's window through the plug-in's own widget
// callbacks and reports what the window shows.
#include <cstdio>

#include "host/tool/run.h"

int main(int argc, char** argv) { return vtool::Main(argc, argv, stdout, stderr); }
