#pragma once

#include <filesystem>
#include <string>

namespace lumora::test {

// Where tests keep what is worth a look after a run (screenshots):
// <build>/test-artifacts/<name>, the folder made when missing.
inline std::string testArtifact(const std::string& name) {
    const auto dir = std::filesystem::path(LUMORA_TOOLS_DIR).parent_path() / "test-artifacts";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace lumora::test
