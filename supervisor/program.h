#pragma once
// The program entry up to the message loop.
#include <memory>

#include "supervisor/principal_form.h"

namespace wardenix {

inline constexpr char16_t kApplicationTitle[] = u"Kestrane DazevaVIZ Wardenix";

// Sets the application title, turns off the showing of the main window and
// creates it (a failure of its creation step goes to the error box). The
// caller then runs the message loop with `application.Run()`. `loaded` runs
// after the components exist and before the creation step: a desktop front
// end creates its window and the window's own components there.
std::unique_ptr<TfrmPrincipal> create_main_window(
    Application& application, TfrmPrincipal::Services services,
    const std::function<void(TfrmPrincipal&)>& loaded = {});

}  // namespace wardenix
