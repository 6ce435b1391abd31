#pragma once
// Waits on a condition while the event loop runs, failing the GoogleTest test when it does
// not come true in time. (QTest's QTRY_ macros only log to QTest, which GoogleTest never sees.)

#include <gtest/gtest.h>

#include <QTest>

#define VEDALIA_WAIT_TRUE(cond) \
  ASSERT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, 5000)) << "waited for: " #cond

#define VEDALIA_WAIT_EQ(actual, expected)                                   \
  do {                                                                      \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, 5000);    \
    ASSERT_EQ(actual, expected) << "waited for: " #actual " == " #expected; \
  } while (false)

// The same with a timeout of its own, for conditions that wait on another process (the web
// engine's renderer starts in seconds, slower still under the sanitizers).
#define VEDALIA_WAIT_TRUE_FOR(cond, ms) \
  ASSERT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, ms)) << "waited for: " #cond
