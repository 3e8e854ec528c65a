#pragma once
// Control identifiers of the main window and the tray menu's commands.
namespace wardenix::win32 {

enum ControlId : int {
  kIdPanel2 = 100,
  kIdLabel1,
  kIdEdServidor,
  kIdLabel3,
  kIdEdPorta,
  kIdPanel3,
  kIdBtnInicio,
  kIdBtnFechar,
  kIdBtnFinalizar,
  kIdMmLog,
  kIdSts,
};

enum MenuCommand : int {
  kPropriedades1 = 1,     // "Visualizar"
  kEncerrarServidor1 = 3  // "Finalizar"
};

// The icon resource.
inline constexpr int kMainIcon = 1;

}  // namespace wardenix::win32
