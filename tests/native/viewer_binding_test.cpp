// Calls through the bound entry points: each one runs inside the guard, a
// structured exception reported by the guard becomes a ViewerFault with its
// code, and load_ifc reads only the low byte of the viewer's answer.
#include <gtest/gtest.h>

#include "host_api/viewer_binding.h"

namespace {

using host_api::BoundViewer;
using host_api::ViewerEntryPoints;
using host_api::ViewerFault;

int guardedCalls = 0;
std::uint32_t raisedCode = 0;

bool Guard(void (*call)(void*) noexcept, void* context, std::uint32_t& code) noexcept {
  ++guardedCalls;
  if (raisedCode != 0) {
    code = raisedCode;
    return false;
  }
  call(context);
  return true;
}

std::uint32_t VIEWER_CALL LoadIfc(std::int32_t, const wchar_t* path) {
  return path[0] == L'y' ? 0xABCDEF01u : 0xABCDEF00u;
}

class Binding : public testing::Test {
 protected:
  void SetUp() override {
    guardedCalls = 0;
    raisedCode = 0;
    host_api::BindViewerApi(entries, [](const char* name) -> void* {
      return std::string_view(name) == "load_ifc" ? reinterpret_cast<void*>(&LoadIfc) : nullptr;
    });
  }
  ViewerEntryPoints entries;
  BoundViewer viewer{entries, Guard};
};

TEST_F(Binding, CallsRunInsideTheGuardAndReadTheLowByteOfALoad) {
  EXPECT_TRUE(viewer.load_ifc(1, L"yes"));
  EXPECT_FALSE(viewer.load_ifc(1, L"no"));
  EXPECT_EQ(guardedCalls, 2);
  // A function the host lacks is skipped without a call.
  EXPECT_EQ(viewer.get_loaded_ifc_path(1), nullptr);
  EXPECT_EQ(guardedCalls, 2);
}

TEST_F(Binding, ExceptionRaisedInsideTheViewerBecomesAFaultWithItsCode) {
  raisedCode = 0x0EEDFADE;
  try {
    viewer.load_ifc(1, L"yes");
    FAIL() << "no fault";
  } catch (const ViewerFault& fault) {
    EXPECT_EQ(fault.Code(), 0x0EEDFADEu);
    EXPECT_STREQ(fault.what(), "viewer call raised 0x0EEDFADE");
  }
}

// A host that exports none of the functions: each answers as a viewer
// without a model or ribbon would, and nothing is called.
TEST(UnboundViewer, EveryMissingFunctionAnswersNeutrally) {
  guardedCalls = 0;
  ViewerEntryPoints none;
  host_api::BindViewerApi(none, [](const char*) -> void* { return nullptr; });
  BoundViewer viewer{none, Guard};
  host_api::ObjectId ids[2] = {7, 7};
  const host_api::PropertyFilter filter{7, L"set", L"name"};
  host_api::PropertyRecord records[2] = {};
  EXPECT_EQ(viewer.create_button(1, 0, nullptr), 0);
  EXPECT_EQ(viewer.get_all_objects(1, ids, 2), 0u);
  EXPECT_EQ(viewer.get_selected(1, ids, 2), 0u);
  EXPECT_EQ(viewer.filter_properties(1, &filter, records, 2), 0u);
  EXPECT_EQ(viewer.get_all_objects_id(1), 0u);
  EXPECT_FALSE(viewer.load_ifc(1, L"yes"));
  EXPECT_EQ(viewer.get_loaded_ifc_path(1), nullptr);
  EXPECT_EQ(guardedCalls, 0);
}

}  // namespace
