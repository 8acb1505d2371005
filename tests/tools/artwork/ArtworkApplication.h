// The one QGuiApplication of the artwork tests, made on first use: the
// artwork program draws under one, and fonts and antialiasing need it to
// come out the same bytes.
#pragma once

#include <QGuiApplication>

namespace brimlink::artworktest {

inline QGuiApplication& Application() {
  static int argc = 1;
  static char name[] = "artwork_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication application(argc, argv);
  return application;
}

}  // namespace brimlink::artworktest
