// The help of the command line: /?, /H or /help.
#pragma once
#include <windows.h>
#include <stdint.h>

// Shows the switches, the exit codes and where deployment is described, in a message
// box in the run's language (in English where its table lacks the texts); with /S it
// shows nothing. Reads only the module's resources and changes nothing on the machine.
void showCommandLineHelp(HINSTANCE instance, uint32_t runFlags);
