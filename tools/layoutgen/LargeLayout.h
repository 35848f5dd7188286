#pragma once
// Generated layouts and libraries of any size, deterministic from a seed,
// and the seed corpora of the layout-file and track-library fuzz targets.
//
// Test support only. Text components are placed by their measured box, so
// files with texts depend on whether a text measurement service is
// registered when they are made.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/layoutgen/LayoutComposer.h"

namespace ULayoutGen {

// `elementCount` elements for a layout file of `version` (3 to 13): chains
// of straights, curves, turnouts and flex tracks laid end to end (so their
// joints connect), sidings leaving from turnout branches, texts beside the
// tracks and a few shapes, on the layers "Tracks", "Upper level", "Labels"
// and "Scenery"; groups of three neighbours every 40 elements, some nested;
// from version 10 two images and from 11 two baseboards. The same seed and
// count give the same file on the same machine.
//
// With `generatedElements`, the flex tracks are made by the straight or the
// curved flex-track generator instead (generator stored, components already
// the generator's own), and the shape slots alternate between arrows and
// dimension lines made by their generators. Without it the output is the
// plain mix above, unchanged.
void ComposeLargeLayout(tLayoutDocument& document, std::size_t elementCount, std::uint64_t seed, int version,
                        bool generatedElements = false);

// Layouts that crowd joints, each of `elementCount` copies of one straight,
// on the writer's one layer.
enum class tJointCrowd {
    EastWestLine,        // end to end heading east: the plain case
    NorthSouthLine,      // end to end heading north: every joint on about one x
    Ladder,              // side by side like rungs, 30 mm apart: two x values
    Spot,                // every piece leaves one spot, alternately east and west
    ShuffledNorthSouth,  // the north-south line in scrambled file order
};
const char* JointCrowdName(tJointCrowd crowd);
void ComposeJointCrowd(tLayoutDocument& document, tJointCrowd crowd, std::size_t elementCount, std::uint64_t seed);

// `elementCount` library elements (straights, curves, turnouts) with
// translated descriptions, for a library file of `version` (2 or later).
void ComposeLargeLibrary(tLibraryDocument& document, std::size_t elementCount, std::uint64_t seed, int version);

// A scenario that uses every statement of the layout format, and one of the
// library format: the seeds of the corpora and of the tests.
const char* SeedLayoutScenario();
const char* SeedLibraryScenario();

// The layout-file seed corpus: the seed scenario and a small generated
// layout in every version 3 to 13, an empty layout, and records older than
// their file. The library corpus: the seed library in versions 2 to 4 and a
// small generated library. Each returns the number of files written into
// `folder` (made when missing); -1 with `errorText` on failure.
int WriteLayoutSeedCorpus(const std::filesystem::path& folder, std::string& errorText);
int WriteLibrarySeedCorpus(const std::filesystem::path& folder, std::string& errorText);

}  // namespace ULayoutGen
