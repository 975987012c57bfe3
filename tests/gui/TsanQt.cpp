// Under ThreadSanitizer: Qt is not built with it, so the hand-offs inside
// Qt between the GUI thread and Qt's own worker pools (the raster engine
// fills large areas on a pool of its own; the pool's runnables are made on
// one side and freed on the other) are invisible to it and look like races.
// Calls from Qt's libraries into the allocator and the other intercepted
// functions are not watched; everything the reader's own code does still is.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n";
}
