// Start-up, window events and the end of the program, without Qt: the window
// calls these at its events, the CLI and the tests call them directly.
#pragma once

#include <functional>
#include <string>

namespace qvod {

// Registers the program's components: the XML HTTP request object and the
// regular-expression engine.
void RegisterComponents();

// Start-up steps 2 and 3: InitSharedState, then ReleaseSharedState registered as
// the exit procedure. Also registers the components.
void StartUp();

// Created event of the main window, on the window's thread: creates OutputLock,
// switches on the look, sets the caption and the link target, starts the banner.
void OnMainWindowCreated(const std::function<void()>& switch_on_silver_look = {});

// Will-be-destroyed event of the main window: deletes the lock in OutputLock.
void OnMainWindowDestroying();

// The banner thread's body: types the banner into 标签2, two bytes every 100 ms,
// then turns the banner and the version link black.
void RevealBanner();

// RevealBanner's steps for a given banner text: shows banner two bytes at a
// time every 100 ms in 标签2, then sets both colours black. Ends early, leaving
// the colours as they are, when the shared state is gone (the program is ending).
void RevealBannerText(const std::string& banner);

// 按钮2: empties the address box.
void OnClearClicked();

// 按钮1: runs the exit procedure and ends the process with exit code 0.
[[noreturn]] void OnForceQuitClicked();

}  // namespace qvod
