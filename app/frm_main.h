// TFrmMain: the main window. It restores its placement when created,
// starts the compile run once it is shown, and saves its placement when
// the window manager closes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/run_ui.h"
#include "platform/window.h"
#include "sysutil/form_placement.h"

namespace veilbox {

class TFrmMain final : public platform::MainWindowEvents, public PlacedForm, public RunUi {
 public:
  // Creates the window (not yet shown) and runs FormCreate. params are the
  // program's arguments 1 to n, for the compile run.
  explicit TFrmMain(std::vector<std::string> params);

  void FormCreate();
  void FormShow();
  void FormClose();

  void Show() { window_.Show(); }
  std::optional<int> RunMessageLoop() { return window_.RunMessageLoop(); }

  // The application's default error box: the plain box with the error's
  // own text.
  void ShowException(const std::string& text);

  // MainWindowEvents
  void OnShow() override;
  int OnStartCompile() override;
  void OnClose() override;

  // PlacedForm
  std::string Name() const override { return "FrmMain"; }
  int Left() const override { return window_.Left(); }
  int Top() const override { return window_.Top(); }
  int Width() const override { return window_.Width(); }
  int Height() const override { return window_.Height(); }
  void SetLeft(int left) override { window_.SetLeft(left); }
  void SetTop(int top) override { window_.SetTop(top); }
  void SetWidth(int width) override { window_.SetWidth(width); }
  void SetHeight(int height) override { window_.SetHeight(height); }
  TWindowState WindowState() const override;
  void SetWindowState(TWindowState state) override;
  TFormBorderStyle BorderStyle() const override { return bsToolWindow; }
  std::optional<Area> ParentArea() const override { return std::nullopt; }
  std::vector<PlacedControl> Controls() const override;

  // RunUi
  void ShowMessage(const std::string& text) override;
  void ShowErrorDialog(const std::string& text) override;
  void RestorePlacement(RegistryRoot root) override;
  void HideWindow() override { window_.HideAndRepaint(); }

 private:
  std::vector<std::string> params_;
  platform::MainWindow window_;
};

}  // namespace veilbox
