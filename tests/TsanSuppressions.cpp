// Qt is not built for ThreadSanitizer: it can't see the futex locks and atomic
// counts with which QThread hands over its teardown and its thread data, nor
// Qt Test's watchdog being stopped.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
  return "race:QWaitCondition::~QWaitCondition\n"
         "race:QCoreApplicationPrivate::cleanupThreadData\n"
         "called_from_lib:libQt6Test.so\n";
}
