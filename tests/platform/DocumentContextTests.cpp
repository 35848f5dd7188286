#include "platform/graphics/DocumentContext.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

using platform::DocumentContext;

namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void drawSomething(platform::Context& c) {
    c.setFillColor({0.2, 0.4, 0.6, 1});
    c.fillRect({10, 10, 50, 20});
    platform::TextAttributes text;
    text.fontName = "DejaVu Sans";
    text.fontSize = 12;
    c.drawText("Gleisplan", {10, 40}, text);
}

}  // namespace

TEST(DocumentContextTest, PdfAndSvgFilesAreWrittenWhole) {
    const auto root = testsupport::processRoot();
    struct Case {
        const char* name;
        const char* file;
        bool pdf;
        const char* marker;
        bool atStart;
    };
    for (const Case& k :
         {Case{"PDF", "layout.pdf", true, "%PDF", true}, Case{"SVG", "layout.svg", false, "<svg", false}}) {
        const auto path = root / k.file;
        std::ofstream(path) << "older file";
        auto c = k.pdf ? DocumentContext::createPdf(path, {200, 100}) : DocumentContext::createSvg(path, {200, 100});
        ASSERT_NE(c, nullptr) << k.name;
        // Vector output keeps hairlines: a viewer may zoom in on them.
        c->scale(0.001, 0.001);
        EXPECT_TRUE(c->strokeWidthDraws(1.0)) << k.name;
        c->scale(1000, 1000);
        drawSomething(*c);
        EXPECT_EQ(contents(path), "older file") << k.name << ": replaced only when finished";
        EXPECT_TRUE(c->finish()) << k.name;
        EXPECT_TRUE(c->finish()) << k.name << ": a second call repeats the result";
        const std::string written = contents(path);
        if (k.atStart) {
            EXPECT_EQ(written.substr(0, 4), k.marker) << k.name;
        } else {
            EXPECT_NE(written.find(k.marker), std::string::npos) << k.name;
        }
        EXPECT_GT(written.size(), 200u) << k.name;
        EXPECT_FALSE(std::filesystem::exists(path.string() + ".partial")) << k.name;
        c->fillRect({0, 0, 10, 10});  // after finishing: nothing, and no harm
    }
    // Destroying an unfinished context finishes it.
    {
        auto c = DocumentContext::createSvg(root / "implicit.svg", {50, 50});
        ASSERT_NE(c, nullptr);
        drawSomething(*c);
    }
    EXPECT_NE(contents(root / "implicit.svg").find("<svg"), std::string::npos);
}

TEST(DocumentContextTest, RefusesBadPageSizesAndUnwritablePlaces) {
    const auto root = testsupport::processRoot();
    EXPECT_EQ(DocumentContext::createPdf(root / "a.pdf", {0, 100}), nullptr);
    EXPECT_EQ(DocumentContext::createPdf(root / "a.pdf", {-5, 100}), nullptr);
    EXPECT_EQ(DocumentContext::createSvg(root / "a.svg", {100, std::nan("")}), nullptr);
    EXPECT_EQ(DocumentContext::createPdf(root / "no-such-folder" / "a.pdf", {100, 100}), nullptr);
    EXPECT_EQ(DocumentContext::createSvg(root / "no-such-folder" / "a.svg", {100, 100}), nullptr);
    EXPECT_FALSE(std::filesystem::exists(root / "a.pdf"));
    EXPECT_FALSE(std::filesystem::exists(root / "a.svg"));
}
