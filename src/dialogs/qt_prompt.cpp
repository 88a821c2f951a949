#include "dialogs/qt_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace tidewell {

namespace {

QMessageBox::StandardButtons standardButtons(PromptButtons buttons) {
  switch (buttons) {
    case PromptButtons::Ok:
      return QMessageBox::Ok;
    case PromptButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton standardButton(PromptAnswer answer) {
  switch (answer) {
    case PromptAnswer::Ok:
      return QMessageBox::Ok;
    case PromptAnswer::Cancel:
      return QMessageBox::Cancel;
    case PromptAnswer::Yes:
      return QMessageBox::Yes;
    case PromptAnswer::No:
      return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon messageIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::None:
      return QMessageBox::NoIcon;
    case PromptIcon::Stop:
      return QMessageBox::Critical;
    case PromptIcon::Question:
      return QMessageBox::Question;
    case PromptIcon::Exclamation:
      return QMessageBox::Warning;
    case PromptIcon::Information:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

QString fromBytes(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PromptAnswer QtPrompt::ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                           PromptAnswer defaultAnswer) {
  QMessageBox box(messageIcon(icon), fromBytes(caption), fromBytes(text), standardButtons(buttons),
                  QApplication::activeWindow());
  box.setDefaultButton(standardButton(defaultAnswer));
  // Closing the box by its close button or Escape counts as the way out that
  // changes nothing: Cancel where there is one, else No, else OK.
  if (buttons == PromptButtons::YesNo) {
    box.setEscapeButton(QMessageBox::No);
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return PromptAnswer::Ok;
    case QMessageBox::Cancel:
      return PromptAnswer::Cancel;
    case QMessageBox::Yes:
      return PromptAnswer::Yes;
    case QMessageBox::No:
      return PromptAnswer::No;
    default:
      break;
  }
  return defaultAnswer;
}

void QtPrompt::beep() {
  QApplication::beep();
}

}  // namespace tidewell
