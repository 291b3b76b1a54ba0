// The box that says the start failed runs in a plug-in frame of its own:
// on_plugin_load has none around it, so a fault raised inside the box would
// otherwise reach the viewer and leave the start's frame uncounted.
#include "plugin_session.h"

using StartFailedBox = PluginSession;

TEST_F(StartFailedBox, AFaultInsideItEndsTheBoxAndTheFramesStayCounted) {
  plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(FAULTY_DLL));
  ASSERT_TRUE(plugin->Loaded());
  sim.ArmFault("on_selection_change", 1, viewer_sim::FaultKind::ForeignException);
  {
    const InjectedFault fault("raise:box");
    ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  }
  EXPECT_TRUE(sim.MessageBoxes().empty());  // the box faulted before it showed
  // The failed start's controller went with its frame, and so does the next.
  EXPECT_TRUE(PluginWindows().empty());
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(PluginWindows().size(), 1u);
  UnloadPlugin();
  EXPECT_TRUE(PluginWindows().empty());
}
