// What the command line adds around the unit: choosing devices by name,
// listing them, recording what is played. Then the unit runs as always.
#pragma once

// The program's whole run; returns its exit code.
int runFromCommandLine(int argc, char** argv);
