// brimlink-regsvr [-u] [--user] PATH: loads a control library and calls its
// DllRegisterServer (or, with -u, DllUnregisterServer), as regsvr32 does;
// with --user its DllInstall for the per-user registry, as regsvr32 /n /i:user.
// Exit status: 0 success, 1 the library, entry point or registry failed,
// 2 bad usage.
#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "control/interface/Automation.h"
#include "control/interface/BrimlinkVersion.h"
#include "control/interface/Registration.h"
#include "control/link/Ini.h"
#include "control/link/SettingsLocation.h"

namespace {

namespace ba = brimlink::automation;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: brimlink-regsvr [-u] [--user] PATH\n"
    "  or:  brimlink-regsvr --help|--version\n";

constexpr std::string_view kHelp =
    "Registers the control library PATH (e.g. Brimlink.ocx) in the class registry,\n"
    "or with -u removes its registration, by calling the library's own\n"
    "DllRegisterServer or DllUnregisterServer. The library is registered by its\n"
    "canonical path. The machine registry is Registry.ini in the settings folder\n"
    "(mode 0644: only its owner, normally root, may change it).\n"
    "\n"
    "Exit status: 0 on success, 1 when the library or the registry fails,\n"
    "2 on bad arguments.\n"
    "\n"
    "Options:\n"
    "  -u               unregister\n"
    "  --user           use this user's own registry instead,\n"
    "                   $XDG_CONFIG_HOME/Brimlink/Registry.ini (the library's\n"
    "                   DllInstall)\n"
    "  -h, --help       show this text and exit\n"
    "  --version        show the version of the control library and exit\n"
    "\n"
    "Environment:\n"
    "  XDG_CONFIG_DIRS  the settings folder is Brimlink/ in the first of these\n"
    "                   folders that holds one (default /etc/xdg)\n"
    "  XDG_CONFIG_HOME  the folder of this user's registry (default ~/.config)\n";

void Print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// The help and the version are the whole result: when they cannot be written
// (a full disk, a closed pipe) the program must not report success.
int PrintInformation(std::string_view text) {
    Print(stdout, text);
    if (std::ferror(stdout) == 0) return 0;
    std::fprintf(stderr, "brimlink-regsvr: cannot write standard output: %s\n", std::strerror(errno));
    return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool perUser = false;
    bool endOfOptions = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!endOfOptions && (arg == "-h" || arg == "--help")) {
            return PrintInformation(std::string(kUsage) + std::string(kHelp));
        }
        if (!endOfOptions && arg == "--version") {
            return PrintInformation(std::string("brimlink-regsvr ") + brimlink::control::kVersionText + "\n");
        }
        if (!endOfOptions && arg == "-u") {
            unregister = true;
        } else if (!endOfOptions && arg == "--user") {
            perUser = true;
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

    // dlopen searches the library path for a bare name; the file meant is the
    // one named, and hosts load it by the canonical path registered.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) path = absolute.lexically_normal().string();
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        Print(stderr, "brimlink-regsvr: cannot load " + path + ": " + std::strerror(errno) + "\n");
        return kExitFailure;
    }
    path = resolved;

    // A registry that does not read cleanly would lose what was not
    // understood, other libraries' entries among them: it is left alone.
    const std::string registry =
        perUser ? ba::UserRegistryFilePath()
                : ba::RegistryFilePath(brimlink::link::SettingsFolder(brimlink::link::ControlFolder(path)));
    if (const std::string problem = brimlink::link::CIni(registry).Problem(); !problem.empty()) {
        Print(stderr, "brimlink-regsvr: the class registry " + registry + " is left as it is: " + problem +
                          "; correct or remove it first\n");
        return kExitFailure;
    }

    const char* entryName = perUser ? "DllInstall" : unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // Never closed: the library may have started threads or registered
    // handlers that must not outlive its code.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        Print(stderr, "brimlink-regsvr: cannot load " + path + ": " + (reason ? reason : "unknown reason") + "\n");
        return kExitFailure;
    }
    void* symbol = ::dlsym(library, entryName);
    if (symbol == nullptr) {
        Print(stderr, "brimlink-regsvr: " + path + " has no entry point " + entryName + "\n");
        return kExitFailure;
    }

    ba::HRESULT hr;
    if (perUser) {
        using InstallEntry = ba::HRESULT (*)(std::int32_t, const char16_t*);
        hr = reinterpret_cast<InstallEntry>(symbol)(unregister ? 0 : 1, u"user");
    } else {
        using EntryPoint = ba::HRESULT (*)();
        hr = reinterpret_cast<EntryPoint>(symbol)();
    }
    const std::string what = perUser ? std::string(entryName) + (unregister ? " -u user" : " user") : entryName;
    if (ba::Failed(hr)) {
        Print(stderr, what + " in " + path + " failed: " + ba::FormatResult(hr) + " (class registry " + registry +
                          ")\n");
        return kExitFailure;
    }
    Print(stdout, what + " in " + path + " succeeded.\n");
    return 0;
}
