// Zephyrix: a real-time voice effects unit on one skinned panel.
#include "app/desktop_start.h"

int main(int argc, char** argv) {
  return runFromCommandLine(argc, argv);
}
