// Linked into every test program: the tests run in the locale of their environment, as the
// window program does (it takes the user's locale at start). CTest runs some suites again
// with LC_ALL set to a comma-decimal locale and QV_TEST_LOCALE naming it.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

const char* const kUserLocale = std::setlocale(LC_ALL, "");

TEST(UserLocale, TheLocaleAskedForIsInForce) {
  const char* wanted = std::getenv("QV_TEST_LOCALE");
  if (wanted == nullptr) return;
  ASSERT_NE(kUserLocale, nullptr) << "locale " << wanted << " is not installed (scripts/install-deps.sh makes it)";
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), wanted);
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
}

}  // namespace
