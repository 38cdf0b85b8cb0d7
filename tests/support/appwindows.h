#ifndef APPWINDOWS_H
#define APPWINDOWS_H

#include "app/appwindow.h"

#include <memory>

// The main window as the program opens it, for suites whose application is a
// QPEApplication.
namespace AppWindows {

// Built quietly (a first start prints a line), shown as the application's main
// widget and made the active window; null, with a test failure, when it never
// becomes active.
std::unique_ptr<AppWindow> open();

} // namespace AppWindows

#endif
