#include "controller_fixture.h"

std::unique_ptr<bridge::btBIMQuabo>& TestControllerInstance() {
  static std::unique_ptr<bridge::btBIMQuabo> instance;
  return instance;
}

namespace {

void SelectionChanged() {
  if (auto& c = TestControllerInstance()) c->SendSelection();
}
void ModelLoaded() {
  if (auto& c = TestControllerInstance()) c->OnModelLoaded();
}
void StatusButtonClicked() {}
void LinesButtonClicked() {
  if (auto& c = TestControllerInstance()) c->SendLastSelection();
}

}  // namespace

const plugin::Handlers kTestHandlers = [] {
  auto handlers = plugin::Handlers::Every(StatusButtonClicked);
  handlers.selectionChanged = SelectionChanged;
  handlers.modelLoaded = ModelLoaded;
  handlers.linesButtonClicked = LinesButtonClicked;
  return handlers;
}();

StartedPlugin::StartedPlugin() {
  system.ownProcessId = kViewerPid;
  system.windows.push_back({kHost, kViewerPid, "TViewerMain"});
}

void StartedPlugin::AddTwoPeers() {
  system.processes = {{10, "explorer.exe"}, {11, "QUABO.EXE"}, {12, "quabo_bimproject.exe"}};
  system.windows.push_back({kPeerA, 11, "TMainForm"});
  system.windows.push_back({kPeerB, 12, "TMainForm"});
  system.replies[kPeerA] = 100;
  system.replies[kPeerB] = 200;
}

void StartedPlugin::Start() {
  plugin::StartPlugin(system, viewer, kPluginHandle, kHost, kTestHandlers, TestControllerInstance());
}

std::string StartedPlugin::Sent(std::uint32_t code, std::size_t nth) {
  const auto matching = system.SentWithCode(code);
  if (nth >= matching.size()) return "<not sent>";
  const std::string& payload = matching[nth].payload;
  // Strip "<pid>|" and the closing NUL, checking both on the way.
  const std::string prefix = std::to_string(kViewerPid) + "|";
  EXPECT_EQ(payload.rfind(prefix, 0), 0u) << payload;
  EXPECT_EQ(payload.back(), '\0');
  return payload.substr(prefix.size(), payload.size() - prefix.size() - 1);
}
