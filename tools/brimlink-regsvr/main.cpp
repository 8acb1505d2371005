// brimlink-regsvr [-u] PATH: loads a control library and calls its
// DllRegisterServer (or, with -u, DllUnregisterServer), as regsvr32 does.
// Exit status: 0 success, 1 the library or entry point failed, 2 bad usage.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "control/interface/Automation.h"

namespace {

namespace ba = brimlink::automation;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: brimlink-regsvr [-u] PATH\n"
    "Registers the control library PATH (e.g. Brimlink.ocx) in the class registry,\n"
    "or with -u removes its registration, by calling the library's own\n"
    "DllRegisterServer or DllUnregisterServer.\n"
    "  -u          unregister\n"
    "  -h, --help  show this text\n"
    "Exit status: 0 on success, 1 when the library fails, 2 on bad arguments.\n";

void Print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool endOfOptions = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!endOfOptions && (arg == "-h" || arg == "--help")) {
            Print(stdout, kUsage);
            return 0;
        }
        if (!endOfOptions && arg == "-u") {
            unregister = true;
        } else if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg.size() > 1 && arg.front() == '-') {
            Print(stderr, "brimlink-regsvr: unknown option '" + std::string(arg) + "'\n" + std::string(kUsage));
            return kExitUsage;
        } else if (path.empty() && !arg.empty()) {
            path = arg;
        } else {
            Print(stderr, std::string(arg.empty() ? "brimlink-regsvr: empty PATH\n"
                                                  : "brimlink-regsvr: only one PATH may be given\n") +
                              std::string(kUsage));
            return kExitUsage;
        }
    }
    if (path.empty()) {
        Print(stderr, std::string("brimlink-regsvr: no PATH given\n") + std::string(kUsage));
        return kExitUsage;
    }

    // dlopen searches the library path for a bare name; the file meant is the one named.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) path = absolute.lexically_normal().string();

    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // Never closed: the library may have started threads or registered
    // handlers that must not outlive its code.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        Print(stderr, "brimlink-regsvr: cannot load " + path + ": " + (reason ? reason : "unknown reason") + "\n");
        return kExitFailure;
    }
    using EntryPoint = ba::HRESULT (*)();
    const auto entry = reinterpret_cast<EntryPoint>(::dlsym(library, entryName));
    if (entry == nullptr) {
        Print(stderr, "brimlink-regsvr: " + path + " has no entry point " + entryName + "\n");
        return kExitFailure;
    }

    const ba::HRESULT hr = entry();
    if (ba::Failed(hr)) {
        Print(stderr, std::string(entryName) + " in " + path + " failed: " + ba::FormatResult(hr) + "\n");
        return kExitFailure;
    }
    Print(stdout, std::string(entryName) + " in " + path + " succeeded.\n");
    return 0;
}
