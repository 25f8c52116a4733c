// The window is created before the first input, so its start-up is not
// taken for that input's work. Targets with more to prepare define their own.
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***);
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzWindow();
  return 0;
}
