// One application object for the whole program: fonts, painting and the
// clipboard need it.
#include <QApplication>

#include <gtest/gtest.h>

namespace {
class QtAppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "kv_bitmap_qt_tests";
      static char* argv[] = {name, nullptr};
      static QApplication* app = new QApplication(argc, argv);
      (void)app;
    }
  }
};

const auto* const GEnvironment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);
}  // namespace
