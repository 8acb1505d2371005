#include "bindings/python/Application.h"

#include <QCoreApplication>
#include <clocale>
#include <string>

namespace brimlink::python {

void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "python3";
    static char* argv[] = {name, nullptr};
    // Qt sets the locale from the environment; the interpreter and the
    // program chose theirs already, so it is put back.
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string locale = current != nullptr ? current : "C";
    static QCoreApplication application(argc, argv);
    std::setlocale(LC_ALL, locale.c_str());
}

}  // namespace brimlink::python
