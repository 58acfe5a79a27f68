// Start-up and teardown of each module as the dynamic loader runs them: this
// executable is the host (it exports err_warn and holds the crypto service
// stand-in) and loads a module made of the real constructor and destructor.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "method/status.h"
#include "platform/tarn/tarn_control.h"

namespace {
std::vector<std::string> warnings;
}  // namespace

extern "C" __attribute__((visibility("default"))) void err_warn(const char* format, ...) {
  char line[512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(line, sizeof line, format, values);
  va_end(values);
  warnings.emplace_back(line);
}

namespace {

constexpr std::int32_t kRefused = -1234;

struct StartupCase {
  const char* name;
  const char* module;   // path of the module to load
  const char* failing;  // operation made to fail at start-up, or null
  std::int32_t failWith;
  const char* warning;  // the one err_warn line expected, or null
  std::int32_t count;   // activeThreadCount after loading
  bool up;              // the facade after loading
  std::uint32_t brokerCloses;  // ATBX_CloseATB calls at unload
  std::uint32_t goodbyes;      // CCSX_Goodbye calls at unload
};

TEST(Startup, LoadAndUnload) {
  const std::int32_t kDown = wistra::kStatusFacadeDown;
  const StartupCase cases[] = {
      {"server starts", LSM_PROBE, nullptr, 0, nullptr, 1, true, 1, 1},
      {"server: -1498 counts as success", LSM_PROBE, "CCSX_Register", wistra::kStatusStartupAlreadyUp, nullptr, 1,
       false, 1, 0},
      {"server: facade refused", LSM_PROBE, "CCSX_Register", kRefused,
       "Wistra Method LSM Error, unable to initialize TARN - -1234 ", 0, false, 1, 0},
      {"server: broker refused", LSM_PROBE, "ATBX_OpenATB", 0,
       "Wistra Method LSM Error, unable to initialize TARN - -8 ", 0, true, 1, 1},
      {"client starts", LCM_PROBE, nullptr, 0, nullptr, 1, true, 0, 1},
      {"client: -1498 counts as success", LCM_PROBE, "CCSX_Register", wistra::kStatusStartupAlreadyUp, nullptr, 1,
       false, 0, 0},
      {"client: facade refused", LCM_PROBE, "CCSX_Register", kRefused,
       "Wistra Method LCM Error, unable to initialize TARN - -1234", 0, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TarnControl_Reset();
    warnings.clear();
    if (c.failing) {
      ASSERT_EQ(TarnControl_FailNext(c.failing, c.failWith, 1), 0);
    }

    void* module = dlopen(c.module, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto count = reinterpret_cast<std::int32_t (*)()>(dlsym(module, "probe_activeThreadCount"));
    auto crypto = reinterpret_cast<std::int32_t (*)()>(dlsym(module, "probe_CreateContext"));
    ASSERT_NE(count, nullptr);
    ASSERT_NE(crypto, nullptr);

    if (c.warning) {
      EXPECT_EQ(warnings, std::vector<std::string>{c.warning});
    } else {
      EXPECT_TRUE(warnings.empty());
    }
    EXPECT_EQ(count(), c.count);
    EXPECT_EQ(crypto(), c.up ? 0 : kDown);

    TarnControl_Reset();
    ASSERT_EQ(dlclose(module), 0);
    // The destructor ran: whatever start-up did, the teardown call was made and
    // nothing stays registered.
    EXPECT_EQ(TarnControl_CallCount("ATBX_CloseATB"), c.brokerCloses);
    EXPECT_EQ(TarnControl_CallCount("CCSX_Goodbye"), c.goodbyes);
    EXPECT_EQ(TarnControl_RegisteredCount(), 0u);
  }
}

}  // namespace
