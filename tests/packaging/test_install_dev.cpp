// The C++ development files as cmake --install makes them under a prefix of
// their own: only the host's headers (nothing of control/link), and a host
// built from the installed files alone, once through find_package(Brimlink)
// and once through pkg-config, links and runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace brimlink {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::TempFolder;

constexpr std::string_view kHost = R"(#include <brimlink/Control.h>
#include <cstdio>
int main() {
    brimlink::Control ctl("{0A1B2C3D-0000-4000-8000-000000000002}");
    std::printf("%s %d\n", ctl ? "created" : "not registered", brimlink::dispid::SetDigitalOutput0);
    return ctl ? 1 : 0;
}
)";

constexpr std::string_view kProject = R"(cmake_minimum_required(VERSION 3.25)
project(TinyHost LANGUAGES CXX)
find_package(Brimlink 1.0 REQUIRED)
add_executable(host host.cpp)
target_link_libraries(host PRIVATE Brimlink::Host)
)";

void Write(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string Read(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class DevelopmentFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (BRIMLINK_SANITIZED) GTEST_SKIP() << "a sanitizer build's library needs the sanitizer in every host";
        ASSERT_FALSE(root.Path().empty());
        ChildProcess install({CMAKE_COMMAND, "--install", BRIMLINK_BUILD_FOLDER, "--prefix", prefix,
                              "--component", "brimlink-dev"},
                             {});
        ASSERT_EQ(install.WaitForExit(), 0) << install.Out() << install.Err();
        fs::create_directories(root.Path() + "/xdg");
    }

    // The host runs in settings folders of its own, so no registry of the machine's counts.
    void ExpectHostRuns(const std::string& program) {
        ChildProcess host({program}, {{"XDG_CONFIG_DIRS", root.Path() + "/xdg"}, {"XDG_CONFIG_HOME", root.Path() + "/xdg"}});
        EXPECT_EQ(host.WaitForExit(), 0) << host.Err();
        EXPECT_EQ(host.Out(), "not registered 3\n");
    }

    TempFolder root{"brimlink-dev-install"};
    std::string prefix = root.Path() + "/prefix";
    std::string libdir = prefix + "/" BRIMLINK_INSTALL_LIBDIR;
};

TEST_F(DevelopmentFiles, HoldTheHostHeadersAndLibraryAndNothingOfTheLink) {
    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(prefix))
        if (!entry.is_directory()) files.insert(fs::relative(entry.path(), prefix).string());
    const std::string lib = BRIMLINK_INSTALL_LIBDIR;
    for (const std::string& file :
         {std::string("include/brimlink/Control.h"), std::string("include/brimlink/DispIds.h"),
          std::string("include/brimlink/Creation.h"), std::string("include/brimlink/BrimlinkInterface.h"),
          lib + "/libbrimlink-host.a", lib + "/cmake/Brimlink/BrimlinkConfig.cmake",
          lib + "/cmake/Brimlink/BrimlinkConfigVersion.cmake", lib + "/pkgconfig/brimlink.pc",
          std::string("share/doc/brimlink-dev/copyright"), std::string("share/doc/brimlink-dev/examples/cpp/handling.cpp"),
          std::string("share/doc/brimlink-dev/examples/cpp/CMakeLists.txt")})
        EXPECT_TRUE(files.contains(file)) << file;

    // Every include of an installed header names a header installed beside it.
    const std::regex quoted("#include \"([^\"]+)\"");
    for (const std::string& file : files) {
        if (!file.starts_with("include/")) continue;
        EXPECT_TRUE(file.starts_with("include/brimlink/")) << file;
        const std::string text = Read(prefix + "/" + file);
        for (std::sregex_iterator it(text.begin(), text.end(), quoted), end; it != end; ++it)
            EXPECT_TRUE(files.contains("include/brimlink/" + (*it)[1].str())) << file << " includes " << (*it)[0];
        EXPECT_EQ(text.find("control/"), std::string::npos) << file;
    }
}

TEST_F(DevelopmentFiles, AHostBuildsWithFindPackageAgainstTheInstalledFilesAlone) {
    const std::string source = root.Path() + "/host";
    Write(source + "/host.cpp", kHost);
    Write(source + "/CMakeLists.txt", kProject);
    // No C++ standard is set: the target brings C++20 with it.
    ChildProcess configure({CMAKE_COMMAND, "-S", source, "-B", source + "/build", "-G", CMAKE_GENERATOR,
                            "-DCMAKE_MAKE_PROGRAM=" CMAKE_MAKE_PROGRAM, "-DCMAKE_CXX_COMPILER=" CMAKE_CXX_COMPILER,
                            "-DCMAKE_PREFIX_PATH=" + prefix},
                           {});
    ASSERT_EQ(configure.WaitForExit(), 0) << configure.Out() << configure.Err();
    ChildProcess build({CMAKE_COMMAND, "--build", source + "/build"}, {});
    ASSERT_EQ(build.WaitForExit(), 0) << build.Out() << build.Err();
    ExpectHostRuns(source + "/build/host");
}

TEST_F(DevelopmentFiles, AHostBuildsWithPkgConfigFromAnyPrefix) {
    const std::string source = root.Path() + "/host.cpp";
    Write(source, kHost);
    const std::string program = root.Path() + "/host-pc";
    ChildProcess build({"/bin/sh", "-c",
                        "exec \"$0\" -std=c++20 \"$1\" -o \"$2\" $(\"$3\" --cflags --libs brimlink)",
                        CMAKE_CXX_COMPILER, source, program, PKG_CONFIG_EXECUTABLE},
                       {{"PKG_CONFIG_PATH", libdir + "/pkgconfig"}});
    ASSERT_EQ(build.WaitForExit(), 0) << build.Out() << build.Err();
    ExpectHostRuns(program);

    ChildProcess version({PKG_CONFIG_EXECUTABLE, "--modversion", "brimlink"}, {{"PKG_CONFIG_PATH", libdir + "/pkgconfig"}});
    EXPECT_EQ(version.WaitForExit(), 0);
    EXPECT_EQ(version.Out(), BRIMLINK_VERSION "\n");
}

}  // namespace
}  // namespace brimlink
