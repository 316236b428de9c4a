#include <gtest/gtest.h>
#include "ui/CoreApp.h"
TEST(Smoke, Builds) { pcm::CoreApp app({}); SUCCEED(); }
