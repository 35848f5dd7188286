#pragma once
// Scenarios: small line-based texts that describe a layout or a track
// library for layoutgen to write (the format is described in README.md
// beside this file). One statement per line, `#` starts a comment:
//
//   version 11
//   layer "Tracks"
//   straight length=200 at=0,0 angle=0 product=H0-200 library="H0 C"
//   curve radius=360 sweep=30
//   group 0 1
//   price H0-200 1299
//
// Parsing stops at the first bad line with "line N: what is wrong".

#include <cstddef>
#include <string>
#include <vector>

#include "tools/layoutgen/LayoutComposer.h"

namespace ULayoutGen {

// What a layout scenario made, besides the document itself.
struct tScenarioSummary {
    std::vector<tElementKind> kinds;  // per element, in file order
    std::size_t groups = 0;
};

// Parses `text` into `document` (which should be fresh). False with
// `errorText` ("line N: ...") at the first bad line; the document is then
// incomplete and should be dropped.
bool ParseLayoutScenario(const std::string& text, tLayoutDocument& document, tScenarioSummary& summary,
                         std::string& errorText);

// The same for a track library (its own header statements; no layers,
// groups, images or baseboards).
bool ParseLibraryScenario(const std::string& text, tLibraryDocument& document, std::string& errorText);

// Reads a whole file; false with `errorText` when it cannot be read (a
// folder cannot).
bool ReadTextFile(const std::string& path, std::string& text, std::string& errorText);

// True when `text` holds no statement at all, only blank lines and comments.
bool IsEmptyScenario(const std::string& text);

}  // namespace ULayoutGen
