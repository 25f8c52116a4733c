// Qt is not built for ThreadSanitizer: it can't see the futex locks with which
// Qt Core posts events between threads (the reader's "finished" to deleteLater)
// and hands over a thread's data and teardown, so memory Qt allocates in one
// thread and frees in another looks raced. Ignoring what Qt's own libraries
// allocate, free and copy keeps every access of the tool's code checked.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so\n"
         "called_from_lib:libQt6Test.so\n";
}
