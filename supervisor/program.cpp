#include "supervisor/program.h"

namespace wardenix {

std::unique_ptr<TfrmPrincipal> create_main_window(
    Application& application, TfrmPrincipal::Services services,
    const std::function<void(TfrmPrincipal&)>& loaded) {
  application.Title = kApplicationTitle;
  application.ShowMainForm = false;
  auto form = std::make_unique<TfrmPrincipal>(services);
  if (loaded) loaded(*form);
  application.HandleEvent([&] { form->FormCreate(); });
  return form;
}

}  // namespace wardenix
