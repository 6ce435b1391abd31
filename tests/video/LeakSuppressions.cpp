// Leaks inside the sound and streaming libraries that the media framework loads; the process
// cannot free them. Added to the shared suppression file's list when the leak checker runs.

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
  // The sound server client leaks its failed connection; a network streaming plugin leaks at
  // load; glib formats plugin messages with vasprintf in frames the unwinder cannot follow.
  return "leak:libpulse\n"
         "leak:libsrt\n"
         "leak:__vasprintf_internal\n";
}
