// Zephyrix: a real-time voice effects unit on one skinned panel.
#include "app/application.h"

int main() {
  return runZephyrix();
}
