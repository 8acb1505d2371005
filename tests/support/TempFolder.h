// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes. Path() is empty when it could not be made;
// tests check that in SetUp.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace brimlink::testing {

class TempFolder {
public:
    // prefix names the folder, so one left behind by a crash shows whose it is.
    explicit TempFolder(std::string_view prefix = "brimlink-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace brimlink::testing
