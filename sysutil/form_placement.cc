#include "sysutil/form_placement.h"

#include "platform/ansi_case.h"
#include "platform/screen.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"

namespace veilbox {
namespace {

std::string ValuePath(const PlacedForm& form, const std::string& suffix) {
  return RegBasePath + "\\Forms\\" + form.Name() + suffix;
}

void Store(const PlacedForm& form, const std::string& suffix, int number) {
  WriteRegString(RegRoot, ValuePath(form, suffix), std::to_string(number));
}

std::string Read(const PlacedForm& form, const std::string& suffix) {
  return ReadRegString(RegRoot, ValuePath(form, suffix));
}

// For each splitter: the alLeft control with the same parent that lies
// nearest to its left.
void StoreSplitterWidths(const PlacedForm& form) {
  const std::vector<PlacedControl> controls = form.Controls();
  for (const PlacedControl& splitter : controls) {
    if (!platform::AnsiSameText(splitter.class_name, "tsplitter")) continue;
    const PlacedControl* best = nullptr;
    int best_left = -1;
    for (const PlacedControl& c : controls) {
      if (c.parent == splitter.parent && c.left < splitter.left && c.align == alLeft &&
          c.left > best_left) {
        best = &c;
        best_left = c.left;
      }
    }
    if (best) Store(form, best->name + "Width", best->width);
  }
}

}  // namespace

void SaveFormPlacement(const PlacedForm& form) {
  const TWindowState state = form.WindowState();
  if (state == wsMinimized) return;
  Store(form, "State", state);
  StoreSplitterWidths(form);
  if (state == wsMaximized) return;
  Store(form, "Left", form.Left());
  Store(form, "Top", form.Top());
  if (form.BorderStyle() == bsSizeable) {
    Store(form, "Height", form.Height());
    Store(form, "Width", form.Width());
  }
}

void RestoreFormPlacement(PlacedForm& form) {
  const Area area =
      form.ParentArea().value_or(Area{platform::ScreenWidth(), platform::ScreenHeight()});
  const std::string left = Read(form, "Left");
  if (left == kNotFound) {
    if (form.Width() > area.width) form.SetWidth(area.width - 10);
    if (form.Height() > area.height) form.SetHeight(area.height - 10);
    form.SetTop((area.height - form.Height()) / 2);
    form.SetLeft((area.width - form.Width()) / 2);
  } else {
    form.SetLeft(StrToInt(left));
    form.SetTop(StrToInt(Read(form, "Top")));
    if (form.BorderStyle() == bsSizeable) {
      const std::string width = Read(form, "Width");
      if (width != kNotFound) {
        form.SetWidth(StrToInt(width));
        form.SetHeight(StrToInt(Read(form, "Height")));
      }
    }
  }
  const std::string state = Read(form, "State");
  if (state != kNotFound) {
    const int number = StrToInt(state);
    if (number == wsNormal || number == wsMinimized || number == wsMaximized)
      form.SetWindowState(static_cast<TWindowState>(number));
  }
  if (form.Top() <= 0 || form.Top() >= area.height) form.SetTop(1);
  if (form.Left() <= 0 || form.Left() >= area.width) form.SetLeft(1);
}

}  // namespace veilbox
