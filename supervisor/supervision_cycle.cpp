// The start sequence and the Firebird check.
#include "supervisor/principal_form.h"
#include "sysops/system_ops.h"

namespace wardenix {

void TfrmPrincipal::tmIniciarTimer() {
  assert_on_main_thread("TfrmPrincipal::tmIniciarTimer");
  // A programmatic click: it runs even while the button is disabled.
  btnInicioClick();
}

void TfrmPrincipal::btnInicioClick() {
  assert_on_main_thread("TfrmPrincipal::btnInicioClick");
  tmIniciar.set_enabled(false);
  btnInicio.enabled = false;
  mmLog.Clear();
  Log(u": Iniciando Wardenix");
  Log(u": Verificando Firebird");
  tmFirebird.set_enabled(true);
  changed();
}

void TfrmPrincipal::tmFirebirdTimer() {
  assert_on_main_thread("TfrmPrincipal::tmFirebirdTimer");
  std::int32_t state = services_.ops.QueryServiceState(u"FirebirdServerDefaultInstance", u"");
  if (state == 4) {
    Log(u": Firebird Default OK");
    tmFirebird.set_enabled(false);
  } else {
    state = services_.ops.QueryServiceState(u"FirebirdServerFirebird_21_Kestrane", u"");
    if (state == 4) {
      Log(u": Firebird Kestrane OK");
      tmFirebird.set_enabled(false);
    }
  }
  if (state == 4) {
    tmServidor.set_enabled(true);
    Log(u": Verificando Servidor de Aplicação");
  } else {
    Log(u": Problemas com o Firebird. Verifique");
    tmServidor.set_enabled(false);
  }
}

}  // namespace wardenix
