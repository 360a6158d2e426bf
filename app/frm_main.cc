#include "app/frm_main.h"

#include <exception>

#include "app/compile_run.h"
#include "platform/message_box.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"

namespace veilbox {
namespace {

// Runs an event handler as the window's message dispatch does: an error
// that escapes it is shown in the default error box and the program goes
// on. The end of the run is no error and goes on to the program entry.
template <typename Handler>
void Dispatched(TFrmMain& form, Handler handler) {
  try {
    handler();
  } catch (const RunEnd&) {
    throw;
  } catch (const std::exception& e) {
    form.ShowException(e.what());
  }
}

}  // namespace

TFrmMain::TFrmMain(std::vector<std::string> params)
    : params_(std::move(params)), window_("Veilbox - Code Protection", this) {
  FormCreate();
}

void TFrmMain::FormCreate() {
  // An error here is shown and the start goes on.
  Dispatched(*this, [&] { RestoreFormPlacement(*this); });
}

void TFrmMain::FormShow() { window_.PostStartCompile(); }

void TFrmMain::FormClose() { SaveFormPlacement(*this); }

void TFrmMain::ShowException(const std::string& text) {
  platform::ShowPlainMessage(kApplicationTitle, text);
}

void TFrmMain::OnShow() {
  Dispatched(*this, [&] { FormShow(); });
}

int TFrmMain::OnStartCompile() { return RunCompile(*this, params_); }

void TFrmMain::OnClose() {
  Dispatched(*this, [&] { FormClose(); });
}

TWindowState TFrmMain::WindowState() const {
  switch (window_.State()) {
    case platform::kStateMinimized:
      return wsMinimized;
    case platform::kStateMaximized:
      return wsMaximized;
    default:
      return wsNormal;
  }
}

void TFrmMain::SetWindowState(TWindowState state) {
  window_.SetState(state == wsMinimized   ? platform::kStateMinimized
                   : state == wsMaximized ? platform::kStateMaximized
                                          : platform::kStateNormal);
}

std::vector<PlacedControl> TFrmMain::Controls() const {
  // lblmsg and Panel2; the image and the labels sit on the panel.
  return {{"TLabel", this, 3, 3, "lblmsg", alNone}, {"TPanel", this, 0, 194, "Panel2", alBottom}};
}

void TFrmMain::ShowMessage(const std::string& text) {
  platform::ShowPlainMessage(kApplicationTitle, text);
}

void TFrmMain::ShowErrorDialog(const std::string& text) { platform::ShowErrorDialog(text); }

void TFrmMain::RestorePlacement(RegistryRoot root) {
  RegRoot = root;
  RestoreFormPlacement(*this);
}

}  // namespace veilbox
