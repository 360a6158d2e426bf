// Remembers where a form stood: position, size, window state and the width
// of the panel left of each splitter, as decimal string values in the key
// Forms below RegBasePath under the current RegRoot.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veilbox {

enum TWindowState { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };
enum TFormBorderStyle {
  bsNone = 0,
  bsSingle = 1,
  bsSizeable = 2,
  bsDialog = 3,
  bsToolWindow = 4,
  bsSizeToolWin = 5
};
enum TAlign { alNone = 0, alTop = 1, alBottom = 2, alLeft = 3, alRight = 4, alClient = 5 };

// One of the form's own child controls, as the save looks at it.
struct PlacedControl {
  std::string class_name;
  const void* parent = nullptr;  // identity of the parent control, only compared
  int left = 0;
  int width = 0;
  std::string name;  // component name
  TAlign align = alNone;
};

struct Area {
  int width = 0;
  int height = 0;
};

// The form whose placement is remembered. Positions are in pixels,
// relative to the parent or to the screen for a top-level form.
class PlacedForm {
 public:
  virtual ~PlacedForm() = default;
  virtual std::string Name() const = 0;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetLeft(int left) = 0;
  virtual void SetTop(int top) = 0;
  virtual void SetWidth(int width) = 0;
  virtual void SetHeight(int height) = 0;
  virtual TWindowState WindowState() const = 0;
  virtual void SetWindowState(TWindowState state) = 0;
  virtual TFormBorderStyle BorderStyle() const = 0;
  // Width and height of the parent control; nothing for a top-level form.
  virtual std::optional<Area> ParentArea() const = 0;
  // The form's own child controls, in control order.
  virtual std::vector<PlacedControl> Controls() const = 0;
};

// Stores the placement; a minimized form stores nothing, a maximized one
// only its state and splitter widths.
void SaveFormPlacement(const PlacedForm& form);

// Applies the stored placement, or centres the form in its area when no
// position is stored, then pulls an edge outside the area back to 1.
// The placement is cosmetic and never stops a start: a stored position
// that is not whole (a text that is not a number, or Left without Top,
// Width without Height) goes to the debugger output and the form is
// centred as if none were stored. A stored window state other than 0, 1
// or 2 is ignored.
void RestoreFormPlacement(PlacedForm& form);

}  // namespace veilbox
