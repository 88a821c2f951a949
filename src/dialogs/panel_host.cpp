#include "dialogs/panel_host.h"

#include <QWidget>

namespace tidewell {

void focusFirstControl(QWidget& panel) {
  // The window's focus chain is a ring in tab order; the panel's controls are
  // the first of its descendants met after it.
  for (QWidget* control = panel.nextInFocusChain(); control != nullptr && control != &panel;
       control = control->nextInFocusChain()) {
    if (panel.isAncestorOf(control) && (control->focusPolicy() & Qt::TabFocus) != 0 && control->isEnabled() &&
        control->isVisibleTo(&panel)) {
      control->setFocus(Qt::TabFocusReason);
      return;
    }
  }
  panel.setFocus(Qt::OtherFocusReason);
}

}  // namespace tidewell
