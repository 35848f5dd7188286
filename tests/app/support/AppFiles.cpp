#include "tests/app/support/AppFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/LayoutGen.h"

namespace testsupport {

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path WriteLayout(const std::filesystem::path& path, int count, int claimed) {
    std::vector<std::unique_ptr<CCompositeGeometry>> owned;
    ULayoutFileWriter::tLayoutFile file;
    for (int i = 0; i < count; ++i) {
        owned.push_back(
            ULayoutGen::CElementBuilder().Catalogue("G" + std::to_string(i), "M", "L", "d").Straight(100).Build());
        file.elements.push_back(owned.back().get());
    }
    file.elementCount = claimed;
    EXPECT_TRUE(ULayoutFileWriter::WriteLayoutFile(path, file)) << path;
    return path;
}

}  // namespace testsupport
