// The one controller of the running plug-in (ControllerInstance), and the
// plug-in code that uses it on the viewer's thread.
//
// Every entry into plug-in code is a frame: a handler that the viewer calls,
// a message of the controller's hidden window, the start and the stop. A
// frame may not end soon: an error box is a modal loop, and a send waits
// with the thread handling sent messages. Inside either the viewer may stop
// the plug-in (the user closes the viewer behind a box; a peer's disconnect
// nested in a send posts WM_CLOSE, which a box's loop dispatches). The stop
// then says goodbye and stops the controller at once, but destroys it only
// when the outermost frame returns, so that no running operation goes on in
// freed memory; and it keeps the library loaded for good, since the viewer
// may free it before that frame has returned.
//
// Inside each frame the work runs contained (Platform::RunContained): a
// structured exception raised in the plug-in's own code ends the frame it
// was raised in, not one further out, so the frame count stays right.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bridge/controller.h"
#include "host_api/viewer.h"
#include "platform/platform.h"
#include "plugin/plugin_lifecycle.h"

namespace plugin {

class ControllerHolder final : public bridge::FrameObserver {
 public:
  ControllerHolder() = default;
  ~ControllerHolder() = default;
  ControllerHolder(const ControllerHolder&) = delete;
  ControllerHolder& operator=(const ControllerHolder&) = delete;

  // on_plugin_load: StartPlugin. A controller still running (a second load
  // without an unload) is retired without a goodbye. A start that fails
  // leaves no controller, and its box says so inside the start's frame, as
  // every box of the plug-in runs inside one: a stop during its loop keeps
  // the library.
  // record, when given, watches the link and hears of a failed start.
  void Start(platform::Platform& system, host_api::Viewer& viewer, std::int32_t pluginHandle,
             platform::WindowHandle hostWindow, const Handlers& handlers, bridge::SupportRecord* record = nullptr);
  // on_plugin_unload: "BIM end" once, then the controller is stopped and
  // destroyed as soon as no frame uses it any more. A stop while a frame
  // runs keeps the library loaded until the process ends.
  void Stop();
  // The end of a process that never stopped the plug-in: the controller is
  // left to the process's end, not destroyed.
  void Abandon() noexcept;

  // A handler's work on the running controller; none once it has stopped.
  template <class Work>
  void Run(Work&& work) {
    const Frame frame(*this);
    if (!current_ || current_->Stopped()) return;
    bridge::btBIMQuabo& controller = *current_;
    system_->RunContained([&] { work(controller); });
  }

  // The running controller, null when there is none or it has stopped.
  bridge::btBIMQuabo* Running() const { return current_ && !current_->Stopped() ? current_.get() : nullptr; }

  void Entered() noexcept override { ++depth_; }
  void Left() noexcept override;

 private:
  class Frame {
   public:
    explicit Frame(ControllerHolder& holder) noexcept : holder_(holder) { holder_.Entered(); }
    ~Frame() { holder_.Left(); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

   private:
    ControllerHolder& holder_;
  };

  // Stops the current controller and keeps it until no frame uses it.
  void Retire();
  // Destroys the stopped controllers once no frame is running.
  void DestroyUnused() noexcept;

  // The platform of the last start; every controller runs on it.
  platform::Platform* system_ = nullptr;
  std::unique_ptr<bridge::btBIMQuabo> current_;
  // Stopped controllers that a frame may still be using.
  std::vector<std::unique_ptr<bridge::btBIMQuabo>> retired_;
  int depth_ = 0;
  bridge::btBIMQuabo* sayingGoodbye_ = nullptr;
};

}  // namespace plugin
