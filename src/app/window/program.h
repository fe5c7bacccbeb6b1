// The window program from start to end: start-up, the window, the message loop
// and the end of the process.
#pragma once

#include <functional>

namespace qvod {

class MainWindow;

// Runs the program: the application, Qt's Chinese translation, StartUp, the Qt
// services and controls, MainWindow with its created event, the message loop.
// Closing the window runs its will-be-destroyed event and ends the loop; then
// the exit procedure runs once and the process ends with the loop's code.
// on_shown, when given, runs once the window is shown, before the loop (tests
// use it to act on the window). Never returns.
[[noreturn]] void RunWindowProgram(int argc, char** argv,
                                   const std::function<void(MainWindow&)>& on_shown = {});

}  // namespace qvod
