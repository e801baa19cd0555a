// Sanitizer and browser-engine settings of the rendering suite, built into its executable so
// they hold however the suite is started.
#include <QByteArray>
#include <QtGlobal>

#include <unistd.h>

extern "C" {

// The browser engine frees some objects of its own through a base without a virtual destructor.
const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }

// One-time allocations of the browser engine and the system libraries under it, never freed.
const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\nleak:libfontconfig.so\nleak:libglib-2.0.so\nleak:libdbus-1.so\n"
           "leak:libicuuc.so\nleak:libicui18n.so\nleak:libnss3.so\nleak:libnssutil3.so\n";
}

} // extern "C"

namespace {

// The browser engine refuses to start as root with its sandbox on.
const bool sandboxChosen = [] {
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

} // namespace
