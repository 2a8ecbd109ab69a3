// Interrupts (SIGINT, SIGTERM, SIGHUP) end zephyrix-render at once, whatever it
// is doing. A flag looked at between blocks would come too late or never:
// opening a FIFO nobody writes to blocks for good, and libsndfile retries a read
// that a signal interrupts. So the handler itself removes the temporary output,
// if there is one, reports the interrupt in one line and exits with 128 + the
// signal's number (130 for Ctrl+C, 143 for SIGTERM); OUTPUT stays as it was.
#pragma once

// Installs the handler for each of those signals that was not ignored when the
// program started (a render started with nohup keeps ignoring hangups).
void installInterruptHandlers();

// Holds interrupts back until releaseInterrupts(), so creating the temporary
// output and handing its name to removeOnInterrupt() are one step.
void holdInterrupts();
void releaseInterrupts();

// The file the handler removes; nullptr for none. The name is copied. (A name
// longer than any path the system takes cannot have been created.)
void removeOnInterrupt(const char* path);
