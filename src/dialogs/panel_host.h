#pragma once

class QWidget;

namespace tidewell {

// The frame as the panels see it: it shows exactly one panel at a time and
// ends the program when the panel it shows goes away.
class PanelHost {
 public:
  virtual ~PanelHost() = default;
  // Hide the panel shown now, install `panel` as the frame's content (fitting
  // the frame to its size), show it and give the keyboard focus to its first
  // control (focusFirstControl). Only after this may the caller close the
  // panel it came from: closing the shown panel first ends the program.
  virtual void switchPanel(QWidget* panel) = 0;
  // The posting panel (the settings and about panels return to it).
  [[nodiscard]] virtual QWidget* postingPanel() const = 0;
};

// Gives the keyboard focus to the first control of `panel` in its tab order
// that can take it (shown, enabled, reached by Tab), else to the panel
// itself, so that no key goes on to a panel that has just been hidden.
void focusFirstControl(QWidget& panel);

}  // namespace tidewell
