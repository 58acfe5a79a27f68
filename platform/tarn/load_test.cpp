// A module loaded as the framework loads the login modules binds every
// operation of the service from the host process.
#include <dlfcn.h>

#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

TEST(Load, ModuleReferringToEveryOperationLoadsNowAndReachesTheService) {
  void* module = dlopen(TARN_PROBE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  using Entry = std::int32_t (*)(std::uint32_t);
  const auto entry = reinterpret_cast<Entry>(dlsym(module, "TarnProbe_RegisterAndLeave"));
  ASSERT_NE(entry, nullptr);
  TarnControl_Reset();
  const std::uint32_t id = NewModuleId();
  EXPECT_EQ(entry(id), wistra::kStatusOk);
  EXPECT_EQ(TarnControl_CallCountFor("CCSX_Register", id), 1u);
  EXPECT_EQ(TarnControl_CallCountFor("CCSX_Goodbye", id), 1u);
  EXPECT_EQ(dlclose(module), 0);
}

}  // namespace
}  // namespace tarn::test
