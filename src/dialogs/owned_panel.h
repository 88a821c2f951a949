#pragma once

#include <QPointer>
#include <memory>
#include <utility>

namespace tidewell {

// Owns a panel that the frame may take in as its child. Normally the owner
// deletes the panel; when the frame has already deleted it with its own
// children (shutdown), the holder lets go of the dangling pointer instead of
// deleting it a second time.
template <typename Panel>
class OwnedPanel {
 public:
  OwnedPanel() = default;
  ~OwnedPanel() { reset(); }
  OwnedPanel(const OwnedPanel&) = delete;
  OwnedPanel& operator=(const OwnedPanel&) = delete;

  void reset(std::unique_ptr<Panel> panel = nullptr) {
    if (!guard_) {
      static_cast<void>(owned_.release());
    }
    owned_ = std::move(panel);
    guard_ = owned_.get();
  }

  [[nodiscard]] Panel* get() const { return guard_.isNull() ? nullptr : owned_.get(); }
  Panel* operator->() const { return get(); }
  explicit operator bool() const { return !guard_.isNull(); }

 private:
  std::unique_ptr<Panel> owned_;
  QPointer<QObject> guard_;
};

}  // namespace tidewell
