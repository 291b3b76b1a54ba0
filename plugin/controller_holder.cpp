#include "plugin/controller_holder.h"

#include "bridge/controller_texts.h"
#include "peer_link/peer_message.h"
#include "plugin/plugin_texts.h"

namespace plugin {

void ControllerHolder::Start(platform::Platform& system, host_api::Viewer& viewer, std::int32_t pluginHandle,
                             platform::WindowHandle hostWindow, const Handlers& handlers,
                             bridge::SupportRecord* record) {
  system_ = &system;
  Retire();
  DestroyUnused();
  const Frame frame(*this);
  try {
    // StartPlugin publishes the controller in current_ before anything can
    // call back, so the observer is set right after that, through the window.
    system.RunContained(
        [&] { StartPlugin(system, viewer, pluginHandle, hostWindow, handlers, current_, this, record); });
  } catch (...) {
    if (record) record->StartFailed();
    // The plug-in stays dormant: its handlers find no controller.
    Retire();
    system.RunContained([&] { system.ShowMessage(StartFailed, StartFailedCaption); });
  }
}

void ControllerHolder::Stop() {
  // Plug-in code is still on the stack, and the viewer may free the library
  // as soon as this returns (its close handler does): the library stays, so
  // that the code can return and the controller go with the last frame.
  if (depth_ > 0 && system_ != nullptr) system_->KeepLoaded();
  if (!current_ || current_->Stopped() || current_.get() == sayingGoodbye_) return;
  const Frame frame(*this);
  // Stopped also when the goodbye fails. A stop nested in the goodbye's
  // send finds it under way and sends nothing more.
  struct StopAfterGoodbye {
    ControllerHolder& holder;
    bridge::btBIMQuabo* controller;
    ~StopAfterGoodbye() {
      controller->Stop();
      holder.sayingGoodbye_ = nullptr;
    }
  } stopAfter{*this, current_.get()};
  bridge::btBIMQuabo& leaving = *current_;
  sayingGoodbye_ = &leaving;
  system_->RunContained([&] { leaving.Message_Sender(bridge::texts::kEndMessage, peer_link::kCodeEnd); });
}

void ControllerHolder::Abandon() noexcept {
  static_cast<void>(current_.release());
  for (auto& controller : retired_) static_cast<void>(controller.release());
  retired_.clear();
}

void ControllerHolder::Left() noexcept {
  --depth_;
  DestroyUnused();
}

void ControllerHolder::DestroyUnused() noexcept {
  if (depth_ > 0) return;
  // Destroyed from variables of their own: a destructor's window messages
  // may come back through here.
  std::unique_ptr<bridge::btBIMQuabo> stopped;
  if (current_ && current_->Stopped()) stopped = std::move(current_);
  std::vector<std::unique_ptr<bridge::btBIMQuabo>> ending;
  ending.swap(retired_);
}

void ControllerHolder::Retire() {
  if (!current_) return;
  current_->Stop();
  retired_.push_back(std::move(current_));
}

}  // namespace plugin
