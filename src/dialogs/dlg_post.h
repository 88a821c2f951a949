#pragma once

#include <QDialog>
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
// Outbound Files line per part, three lights, a rotating tip) and turns its
// buttons into session commands. It keeps no posting state of its own.
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
  void LightsOff() override;
  void HeartbeatLight() override;
  void ShowTip() override;

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

  std::unique_ptr<Ui::TidewellDialog> ui_;
  DialogServices services_;
  const Clock& clock_;
  bool heartbeat_ = false;
  bool setUpDone_ = false;
  OwnedPanel<DlgSet> settingsDialog_;
  std::unique_ptr<PostingCommands> commands_;
};

}  // namespace tidewell
