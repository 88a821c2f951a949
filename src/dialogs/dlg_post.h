#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "dialogs/dialog_services.h"
#include "dialogs/owned_panel.h"
#include "posting/posting_display.h"

namespace Ui {
class TidewellDialog;
}

namespace tidewell {

class Clock;
class DlgSet;
class PostingCommands;

// The posting panel: the main window's content while posting. It shows what
// the posting session reports through PostingDisplay (the State, Time/Rate
// and Total Estimate lines, the Outbound and Inbound Information lists, one
// Outbound Files line per part, three lights, a rotating tip, a bar for the
// whole run) and turns its buttons into session commands. It keeps no
// posting state of its own beyond whether a run is on: while one is, the
// window title starts with the run's percentage, and when it ends the
// desktop is told.
class DlgPost : public QDialog, public PostingDisplay {
  Q_OBJECT

 public:
  static constexpr const char* kVersionText = "Version 1.01ZRB.32bit";

  // `clock` picks the tips. The settings panel opened from here uses
  // `services`.
  DlgPost(DialogServices services, const Clock& clock, QWidget* parent = nullptr);
  ~DlgPost() override;
  DlgPost(const DlgPost&) = delete;
  DlgPost& operator=(const DlgPost&) = delete;

  // The session that the panel sets up when it first shows and that its
  // buttons drive; it goes before the panel's widgets do. Until it is set
  // the buttons do nothing but open the settings panel.
  void setCommands(std::unique_ptr<PostingCommands> commands);
  // Closes the panel (Quit while idle): the frame closes with it and the
  // program ends.
  void closePanel();

  // PostingDisplay
  void ShowState(std::string_view text) override;
  void ShowTimeRate(std::string_view text) override;
  void ShowEstimate(std::string_view text) override;
  void ShowOutboundInfo(std::string_view text) override;
  void ShowInboundInfo(std::string_view text) override;
  void AddFileLine(std::string_view text) override;
  void AppendToFileLine(std::string_view text) override;
  void ClearFileLines() override;
  void LockButtons() override;
  void ResetButtons() override;
  void OutboundLight() override;
  void InboundLight() override;
  void lightsOff() override;
  void HeartbeatLight() override;
  void showTip() override;

  // Tells the desktop that a run ended (summary, body); by default the
  // freedesktop notification (sendDesktopNotice). A seam for tests.
  using RunEndNotice = std::function<void(const QString& summary, const QString& body)>;
  void setRunEndNotice(RunEndNotice notice) { runEndNotice_ = std::move(notice); }

  // Between LockButtons and ResetButtons: a run is on.
  [[nodiscard]] bool running() const { return running_; }
  // A folder dropped on the window: becomes the Directory setting, shown in
  // the State line. Refused (false) during a run or when the setting's rules
  // refuse it (after a message).
  bool takeDroppedFolder(const QString& folder);

  // The settings panel opened last, while it exists.
  [[nodiscard]] DlgSet* settingsDialog() const { return settingsDialog_.get(); }

 public slots:
  // Escape does nothing here: it must not stop or end a run by accident.
  void reject() override {}

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void onPost();
  void onStopOrQuit();
  void onSettings();
  void showRunPercent(int percent);

  std::unique_ptr<Ui::TidewellDialog> ui_;
  DialogServices services_;
  const Clock& clock_;
  bool heartbeat_ = false;
  bool running_ = false;
  QString plainTitle_;    // the window's title before the run added its percentage
  QString lastRunState_;  // the run's last State line other than "Idle."
  RunEndNotice runEndNotice_;
  bool setUpDone_ = false;
  OwnedPanel<DlgSet> settingsDialog_;
  std::unique_ptr<PostingCommands> commands_;
};

}  // namespace tidewell
