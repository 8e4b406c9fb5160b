#include "host/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

namespace quirvel::platform {
namespace {

// Without this the first reply written to a closed pipe would end the worker
// by signal, with no fatal line and no exit code of its own.
TEST(PlatformTest, WriteToAClosedPipeFailsInsteadOfKillingTheProcess) {
  ReportBrokenPipeAsWriteError();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  errno = 0;
  EXPECT_EQ(::write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  ::close(fds[1]);
}

TEST(PlatformTest, PathsHaveNoShortFormOfTheirOwn) {
  EXPECT_EQ(ShortPathName(L"/opt/\u81FA/a.json"), L"/opt/\u81FA/a.json");
}

TEST(PlatformTest, MissingPathsHaveNoAttributes) {
  bool is_directory = true;
  EXPECT_FALSE(QueryAttributes(L"/no/such/quirvel/path", is_directory));
  ASSERT_TRUE(QueryAttributes(L"/", is_directory));
  EXPECT_TRUE(is_directory);
}

}  // namespace
}  // namespace quirvel::platform
