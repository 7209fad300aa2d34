// A few seconds of fuzzing for each reader, under AddressSanitizer and
// UndefinedBehaviorSanitizer: the readers of every data file survive
// arbitrary bytes. Skipped where clang's libFuzzer is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

TEST(Fuzz, ReadersSurviveShortRun) {
  std::string command = std::string("sh ") + VY_SOURCE_DIR + "/scripts/fuzz.sh short 3 tga mtl obj 2>&1";
  int status = system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "clang's libFuzzer is not installed";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see build/fuzz/logs and build/fuzz/artifacts";
}
