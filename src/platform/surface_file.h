// Writes the window surface to a PNG file, for people to look at what the
// panel shows (snapshots, failing tests).
#pragma once

// 0 when the whole file was written, 1 otherwise.
int writeSurfacePng(const char* path);
