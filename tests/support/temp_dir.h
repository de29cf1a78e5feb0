#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace vemla::test {

// A fresh directory, removed with everything in it when the test ends.
class TTempDir {
  public:
    TTempDir() {
        // A name nobody has: created, not just looked for, so two tests never share one.
        std::random_device random;
        for (;;) {
            Root = std::filesystem::temp_directory_path() / ("vemla-" + std::to_string(random()));
            if (std::filesystem::create_directory(Root)) break;
        }
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::string Path(std::string_view name) const { return (Root / name).string(); }
    std::string Write(std::string_view name, std::string_view content) const {
        std::ofstream out(Path(name), std::ios::binary);
        out << content;
        return Path(name);
    }
    std::string Read(std::string_view name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    const std::filesystem::path& Directory() const { return Root; }

  private:
    std::filesystem::path Root;
};

} // namespace vemla::test
