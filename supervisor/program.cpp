#include "supervisor/program.h"

namespace wardenix {

std::unique_ptr<TfrmPrincipal> create_main_window(Application& application,
                                                  TfrmPrincipal::Services services) {
  application.Title = kApplicationTitle;
  application.ShowMainForm = false;
  auto form = std::make_unique<TfrmPrincipal>(services);
  application.HandleEvent([&] { form->FormCreate(); });
  return form;
}

}  // namespace wardenix
