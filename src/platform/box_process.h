// Message boxes that a library shows from a process of its own (SDL's boxes
// on X11 are drawn by a forked child of the thread that asks for them). Such
// a child would inherit every descriptor of the unit (the control socket, the
// sound server's connection, a recording) and, should the unit be killed while
// the box is open, outlive it holding them. Between these two calls, a child
// forked by the calling thread closes the descriptors the unit keeps to itself
// (those marked close-on-exec: the library's own pipe to its child is not) and
// is killed when the unit ends.
#pragma once

void beginBoxProcess();
void endBoxProcess();
