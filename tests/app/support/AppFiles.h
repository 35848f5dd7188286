#pragma once
// Files the app's tests lay out: texts, and layouts of straight tracks that
// layoutgen writes, whole or cut short.

#include <filesystem>
#include <string>

namespace testsupport {

// Writes `text` to `path`, making its folders.
void WriteText(const std::filesystem::path& path, const std::string& text);
std::string ReadText(const std::filesystem::path& path);

// A layout file of `count` straight tracks that claims `claimed` elements:
// fewer than claimed is a file cut short, which fails to load.
std::filesystem::path WriteLayout(const std::filesystem::path& path, int count, int claimed);

}  // namespace testsupport
